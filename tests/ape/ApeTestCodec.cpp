#include "ApeTestCodec.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include <gtest/gtest.h>

#include "ape/ApeSdk.h"
#include "ape/TApeMd5.h"
#include "ape/TApeMemoryInput.h"
#include "ape/TApeMemoryOutput.h"

namespace kestrune::ape::test {

std::vector<uint8_t> EncodeBuffer(const TPcmFormat& format, const std::vector<uint8_t>& pcm, int32_t level,
                                  int64_t maxAudioBytes, size_t pieceBytes)
{
    auto bytes = std::make_shared<std::vector<uint8_t>>();
    TWaveFormatEx wave;
    FillWaveFormatEx(&wave, int32_t(format.SampleRate), format.Bits, format.Channels);
    TApeCompressor compressor;
    if (compressor.Start(std::make_unique<TApeMemoryOutput>(bytes), &wave, maxAudioBytes, level, nullptr, -1))
        return {};
    for (size_t done = 0; done < pcm.size();) {
        int64_t room = 0;
        uint8_t* dst = compressor.LockBuffer(&room);
        if (!dst)
            return {};
        const size_t n = std::min({size_t(room), pieceBytes, pcm.size() - done});
        std::memcpy(dst, pcm.data() + done, n);
        if (compressor.UnlockBuffer(int64_t(n), true))
            return {};
        done += n;
    }
    if (compressor.Finish(nullptr, 0, 0))
        return {};
    return *bytes;
}

TDecoded DecodeBytes(const std::vector<uint8_t>& file, int64_t blocksPerCall)
{
    TDecoded result;
    std::unique_ptr<TApeDecompressor> decompressor;
    try {
        decompressor = std::make_unique<TApeDecompressor>(std::make_unique<TApeMemoryInput>(file));
    } catch (const EAPEException& e) {
        result.CreateError = e.Code();
        return result;
    }
    const int64_t align = decompressor->GetInfo(apeInfoBlockAlign);
    std::vector<uint8_t> chunk(size_t(blocksPerCall * align));
    for (;;) {
        int64_t got = 0;
        result.DataError = decompressor->GetData(chunk.data(), blocksPerCall, &got);
        result.Pcm.insert(result.Pcm.end(), chunk.begin(), chunk.begin() + got * align);
        if (result.DataError || got == 0)
            break;
    }
    return result;
}

namespace {

uint32_t Le32(const std::vector<uint8_t>& b, size_t at)
{
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}

} // namespace

void ExpectMd5Matches(const std::vector<uint8_t>& file)
{
    ASSERT_GE(file.size(), 76u);
    const uint32_t seekBytes = Le32(file, 16);
    const uint32_t headerDataBytes = Le32(file, 20);
    const uint64_t frameBytes = Le32(file, 24);
    const uint32_t termBytes = Le32(file, 32);
    const size_t seekPos = 52 + 24;
    const size_t dataPos = seekPos + seekBytes;
    ASSERT_EQ(file.size(), dataPos + headerDataBytes + frameBytes + termBytes);
    TApeMd5 md5;
    md5.Update(file.data() + dataPos, headerDataBytes + frameBytes + termBytes);
    md5.Update(file.data() + 52, 24);
    md5.Update(file.data() + seekPos, seekBytes);
    const auto digest = md5.Final();
    EXPECT_EQ(0, std::memcmp(digest.data(), file.data() + 36, 16));
}

void ExpectRoundTrip(const TPcmFormat& format, const std::vector<uint8_t>& pcm, int32_t level)
{
    const std::vector<uint8_t> file = EncodeBuffer(format, pcm, level);
    ASSERT_FALSE(file.empty());
    const TDecoded back = DecodeBytes(file);
    ASSERT_EQ(0, back.CreateError);
    EXPECT_EQ(0, back.DataError);
    ASSERT_EQ(pcm.size(), back.Pcm.size());
    EXPECT_TRUE(pcm == back.Pcm) << "decoded audio differs";
    ExpectMd5Matches(file);
}

} // namespace kestrune::ape::test
