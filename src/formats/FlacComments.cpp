#include "formats/FlacComments.h"

#include "formats/VorbisComments.h"
#include "pipeline/EACSException.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace kestrune {

namespace {

constexpr int StreamInfoType = 0;
constexpr int CommentType = 4;

struct TBlock {
    int Type = 0;
    std::vector<std::uint8_t> Body;
};

// The metadata blocks at the head of a FLAC file and where its frames begin.
struct THead {
    std::vector<TBlock> Blocks;
    std::uint64_t FramesAt = 0;
};

THead ReadHead(std::istream& In, const std::string& FileName)
{
    char marker[4];
    if (!In.read(marker, 4) || std::memcmp(marker, "fLaC", 4) != 0)
        throw EACSException(FileName + " is not a FLAC file.");
    THead head;
    std::uint64_t at = 4;
    for (bool last = false; !last;) {
        std::uint8_t header[4];
        if (!In.read(reinterpret_cast<char*>(header), 4))
            throw EACSException(FileName + " ends inside its metadata.");
        last = (header[0] & 0x80) != 0;
        const std::uint32_t length = std::uint32_t(header[1]) << 16 | std::uint32_t(header[2]) << 8 | header[3];
        TBlock block;
        block.Type = header[0] & 0x7F;
        block.Body.resize(length);
        if (length > 0 && !In.read(reinterpret_cast<char*>(block.Body.data()), length))
            throw EACSException(FileName + " ends inside its metadata.");
        at += 4 + length;
        head.Blocks.push_back(std::move(block));
    }
    if (head.Blocks.empty() || head.Blocks.front().Type != StreamInfoType)
        throw EACSException(FileName + " has no stream information.");
    head.FramesAt = at;
    return head;
}

void PutLe32(std::vector<std::uint8_t>& Out, std::size_t Value)
{
    for (int i = 0; i < 4; ++i)
        Out.push_back(static_cast<std::uint8_t>(Value >> (8 * i)));
}

} // namespace

std::vector<std::string> ReadFlacComments(const std::string& FileName)
{
    std::ifstream in(FileName, std::ios::binary);
    if (!in)
        throw EACSException("The file " + FileName + " cannot be opened.");
    for (const TBlock& block : ReadHead(in, FileName).Blocks)
        if (block.Type == CommentType)
            return ParseVorbisComments(block.Body.data(), block.Body.size()).Entries;
    return {};
}

void WriteFlacComments(const std::string& FileName, const std::vector<std::string>& Comments)
{
    std::ifstream in(FileName, std::ios::binary);
    if (!in)
        throw EACSException("The file " + FileName + " cannot be opened.");
    THead head = ReadHead(in, FileName);

    std::string vendor = "Kestrune";
    std::vector<TBlock> blocks;
    for (TBlock& block : head.Blocks) {
        if (block.Type == CommentType)
            vendor = ParseVorbisComments(block.Body.data(), block.Body.size()).Vendor;
        else
            blocks.push_back(std::move(block));
    }
    TBlock comments;
    comments.Type = CommentType;
    PutLe32(comments.Body, vendor.size());
    comments.Body.insert(comments.Body.end(), vendor.begin(), vendor.end());
    PutLe32(comments.Body, Comments.size());
    for (const std::string& entry : Comments) {
        PutLe32(comments.Body, entry.size());
        comments.Body.insert(comments.Body.end(), entry.begin(), entry.end());
    }
    if (comments.Body.size() >= (1U << 24))
        throw EACSException("The tags of " + FileName + " are too long.");
    blocks.insert(blocks.begin() + 1, std::move(comments));

    const std::filesystem::path path(FileName);
    const std::filesystem::path folder = path.has_parent_path() ? path.parent_path() : ".";
    std::string temp = (folder / ("." + path.filename().string() + ".XXXXXX")).string();
    const int fd = ::mkstemp(temp.data());
    if (fd < 0)
        throw EACSException("The file " + FileName + " cannot be written.");
    ::close(fd);
    try {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out.write("fLaC", 4);
        for (std::size_t i = 0; i < blocks.size(); ++i) {
            const std::size_t length = blocks[i].Body.size();
            const std::uint8_t header[4] = {
                static_cast<std::uint8_t>((i + 1 == blocks.size() ? 0x80 : 0) | blocks[i].Type),
                static_cast<std::uint8_t>(length >> 16), static_cast<std::uint8_t>(length >> 8),
                static_cast<std::uint8_t>(length)};
            out.write(reinterpret_cast<const char*>(header), 4);
            out.write(reinterpret_cast<const char*>(blocks[i].Body.data()), static_cast<std::streamsize>(length));
        }
        in.clear();
        in.seekg(static_cast<std::streamoff>(head.FramesAt));
        std::vector<char> buffer(1 << 16);
        while (in.read(buffer.data(), static_cast<std::streamsize>(buffer.size())) || in.gcount() > 0)
            out.write(buffer.data(), in.gcount());
        if (in.bad())
            throw EACSException("The file " + FileName + " cannot be read.");
        out.close();
        if (!out)
            throw EACSException("The file " + FileName + " cannot be written.");
        std::filesystem::permissions(temp, std::filesystem::status(path).permissions());
        std::filesystem::rename(temp, path);
    } catch (const std::filesystem::filesystem_error&) {
        std::error_code ignored;
        std::filesystem::remove(temp, ignored);
        throw EACSException("The file " + FileName + " cannot be written.");
    } catch (...) {
        // The rename is the last step: nothing after it can fail.
        std::error_code ignored;
        std::filesystem::remove(temp, ignored);
        throw;
    }
}

} // namespace kestrune
