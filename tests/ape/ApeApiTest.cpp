// The SDK-shaped interface, damaged and tagged input, seeking, and the parts
// with two implementations (SIMD and portable NN kernels) or an outside
// definition (MD5, CRC-32).
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <random>

#include "ApeTestCodec.h"
#include "ApeTestSignals.h"
#include "ape/ApeNNKernels.h"
#include "ape/ApeSdk.h"
#include "ape/TApeCrc32.h"
#include "ape/TApeMd5.h"
#include "ape/TApeMemoryInput.h"
#include "ape/TApeMemoryOutput.h"
#include "ape/TApeNNFilter.h"
#include "support/TestSupport.h"

namespace kestrune::ape::test {
namespace {

std::string Hex(const std::array<uint8_t, 16>& d)
{
    std::string s;
    for (uint8_t b : d) {
        static const char* k = "0123456789abcdef";
        s += k[b >> 4];
        s += k[b & 15];
    }
    return s;
}

std::string Md5Of(const std::string& text)
{
    TApeMd5 md5;
    // Fed in uneven pieces to exercise the block buffering.
    for (size_t i = 0; i < text.size(); i += 7)
        md5.Update(text.data() + i, std::min<size_t>(7, text.size() - i));
    return Hex(md5.Final());
}

TEST(ApeChecksums, Md5MatchesRfc1321Vectors)
{
    EXPECT_EQ("d41d8cd98f00b204e9800998ecf8427e", Md5Of(""));
    EXPECT_EQ("900150983cd24fb0d6963f7d28e17f72", Md5Of("abc"));
    EXPECT_EQ("f96b697d7cb7938d525a2f31aaf161d0", Md5Of("message digest"));
    EXPECT_EQ("57edf4a22be3c955ac49da2e2107b67a",
              Md5Of("12345678901234567890123456789012345678901234567890123456789012345678901234567890"));
}

TEST(ApeChecksums, Crc32MatchesTheCheckValue)
{
    const char* text = "123456789";
    EXPECT_EQ(0xCBF43926u, TApeCrc32::Compute(reinterpret_cast<const uint8_t*>(text), 9));
    std::vector<uint8_t> bytes(1000);
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = uint8_t(i * 7 + 3);
    // Table-driven 8-at-a-time path against a bitwise reference.
    uint32_t crc = 0xFFFFFFFFu;
    for (uint8_t b : bytes) {
        crc ^= b;
        for (int k = 0; k < 8; ++k)
            crc = (crc & 1) ? (crc >> 1) ^ 0xEDB88320u : crc >> 1;
    }
    EXPECT_EQ(~crc, TApeCrc32::Compute(bytes.data(), bytes.size()));
}

template <int N>
void CompareKernels(std::mt19937& rng)
{
    std::uniform_int_distribution<int> any(-32768, 32767);
    std::uniform_int_distribution<int> step(-32, 32);
    std::vector<int16_t> c(N), h(N), d(N);
    for (int round = 0; round < 200; ++round) {
        for (int j = 0; j < N; ++j) {
            // Extremes on some rounds so the int32 and int16 wraps are hit.
            c[j] = int16_t(round % 5 == 0 ? -32768 : any(rng));
            h[j] = int16_t(round % 5 == 0 ? -32768 : any(rng));
            d[j] = int16_t(step(rng));
        }
        const int32_t dir = round % 3 - 1;
        EXPECT_EQ(nn::DotPortable<N>(c.data(), h.data()), nn::DotSse2<N>(c.data(), h.data()));
        auto c1 = c, c2 = c;
        nn::AdaptPortable<N>(c1.data(), d.data(), dir);
        nn::AdaptSse2<N>(c2.data(), d.data(), dir);
        EXPECT_EQ(c1, c2);
        c1 = c;
        c2 = c;
        EXPECT_EQ(nn::DotAdaptPortable<N>(c1.data(), h.data(), d.data(), dir),
                  nn::DotAdaptSse2<N>(c2.data(), h.data(), d.data(), dir));
        EXPECT_EQ(c1, c2);
#if KESTRUNE_APE_HAVE_AVX2
        if constexpr (N % 32 == 0) {
            if (nn::CpuHasAvx2()) {
                EXPECT_EQ(nn::DotPortable<N>(c.data(), h.data()), nn::DotAvx2<N>(c.data(), h.data()));
                c1 = c;
                c2 = c;
                nn::AdaptPortable<N>(c1.data(), d.data(), dir);
                nn::AdaptAvx2<N>(c2.data(), d.data(), dir);
                EXPECT_EQ(c1, c2);
                c1 = c;
                c2 = c;
                EXPECT_EQ(nn::DotAdaptPortable<N>(c1.data(), h.data(), d.data(), dir),
                          nn::DotAdaptAvx2<N>(c2.data(), h.data(), d.data(), dir));
                EXPECT_EQ(c1, c2);
            }
        }
#endif
    }
}

TEST(ApeNNFilter, SimdKernelsAgreeWithPortableOnes)
{
#if KESTRUNE_APE_HAVE_SSE2
    std::mt19937 rng(42);
    CompareKernels<16>(rng);
    CompareKernels<32>(rng);
    CompareKernels<64>(rng);
    CompareKernels<256>(rng);
    CompareKernels<1280>(rng);
#else
    GTEST_SKIP() << "no SSE2 on this machine";
#endif
}

// Whole filters over long signals (past the history window's wrap), both
// directions: SIMD and portable give the same residuals, and decoding
// restores the input.
TEST(ApeNNFilter, FiltersAgreeAndInvert)
{
    std::mt19937 rng(7);
    std::uniform_int_distribution<int32_t> wide(-(1 << 23), (1 << 23) - 1);
    std::vector<int32_t> input(5000);
    for (size_t i = 0; i < input.size(); ++i)
        input[i] = i % 1000 < 500 ? int32_t(20000 * std::sin(double(i) / 9)) : wide(rng);
    for (auto [order, shift] : {std::pair{16, 11}, {32, 10}, {64, 11}, {256, 13}, {1280, 15}}) {
        SCOPED_TRACE(order);
        TApeNNFilter plain(order, shift, 3990, TApeNNFilter::nkPortable);
        auto expected = input;
        plain.Compress(expected.data(), expected.size());
        for (auto kernel : {TApeNNFilter::nkSse2, TApeNNFilter::nkAvx2}) {
            if (!TApeNNFilter::KernelAvailable(kernel))
                continue;
            SCOPED_TRACE(kernel);
            TApeNNFilter simd(order, shift, 3990, kernel);
            auto a = input;
            // Uneven runs, as the frame coder hands them over.
            simd.Compress(a.data(), 1000);
            simd.Compress(a.data() + 1000, a.size() - 1000);
            EXPECT_EQ(expected, a);
            TApeNNFilter back(order, shift, 3990, kernel);
            back.Decompress(a.data(), a.size());
            EXPECT_EQ(input, a);
        }
        TApeNNFilter plainBack(order, shift, 3990, TApeNNFilter::nkPortable);
        plainBack.Decompress(expected.data(), expected.size());
        EXPECT_EQ(input, expected);
    }
}

TEST(ApeErrors, TextsAndException)
{
    EXPECT_EQ("OK", ApeErrorText(0));
    EXPECT_EQ("invalid checksum", ApeErrorText(1009));
    EXPECT_EQ("input file file too large", ApeErrorText(1004));
    EXPECT_EQ("APE compress too much data", ApeErrorText(6000));
    EXPECT_EQ("undefined (1234)", ApeErrorText(1234));
    EXPECT_EQ("undefined (-1)", ApeErrorText(-1));
    const EAPEException e(1010);
    EXPECT_STREQ("MACDll error: decompressing frame", e.what());
    EXPECT_EQ(1010, e.Code());
}

TEST(ApeCompressorApi, RejectsBadStartParameters)
{
    kestrune::test::TTempDir dir;
    TWaveFormatEx wave;
    FillWaveFormatEx(&wave, 44100, 16, 2);
    EXPECT_EQ(4u, wave.nBlockAlign);
    EXPECT_EQ(176400u, wave.nAvgBytesPerSec);
    int32_t error = -1;
    auto handle = c_APECompress_Create(&error);
    ASSERT_TRUE(handle);
    EXPECT_EQ(0, error);
    EXPECT_EQ(apeErrBadParameter, c_APECompress_Start(handle.get(), dir.File("a.ape"), &wave, -1, 2500, nullptr, -1));
    TWaveFormatEx bad = wave;
    bad.wBitsPerSample = 32;
    EXPECT_EQ(apeErrUnsupportedBitDepth,
              c_APECompress_Start(handle.get(), dir.File("a.ape"), &bad, -1, 2000, nullptr, -1));
    bad = wave;
    bad.nChannels = 6;
    EXPECT_EQ(apeErrUnsupportedChannelCount,
              c_APECompress_Start(handle.get(), dir.File("a.ape"), &bad, -1, 2000, nullptr, -1));
    EXPECT_EQ(apeErrInvalidOutputFile,
              c_APECompress_Start(handle.get(), dir.File("no/such/dir/a.ape"), &wave, -1, 2000, nullptr, -1));
    EXPECT_EQ(apeErrInvalidFunctionParameter, c_APECompress_Finish(handle.get(), nullptr, 0, 0));
    c_APECompress_Destroy(std::move(handle));

    error = 0;
    auto missing = c_APEDecompress_Create(dir.File("missing.ape"), &error);
    EXPECT_FALSE(missing);
    EXPECT_EQ(apeErrInvalidInputFile, error);
}

// Through the C-shaped calls, as the program's components use them: a WAV-less
// file, then its info fields and data.
TEST(ApeCompressorApi, BufferCompressorFileDecodesWithInfo)
{
    kestrune::test::TTempDir dir;
    const TPcmFormat format{2, 16, 44100};
    const auto pcm = MakeSignal(TSignal::sgMusic, format, 100000);
    TWaveFormatEx wave;
    FillWaveFormatEx(&wave, 44100, 16, 2);
    int32_t error = 0;
    auto c = c_APECompress_Create(&error);
    ASSERT_EQ(0, c_APECompress_Start(c.get(), dir.File("t.ape"), &wave, -1, 2000, nullptr, -1));
    for (size_t done = 0; done < pcm.size();) {
        int64_t room = 0;
        uint8_t* p = c_APECompress_LockBuffer(c.get(), &room);
        ASSERT_NE(nullptr, p);
        const size_t n = std::min<size_t>(size_t(room), std::min<size_t>(65536, pcm.size() - done));
        std::memcpy(p, pcm.data() + done, n);
        ASSERT_EQ(0, c_APECompress_UnlockBuffer(c.get(), int64_t(n), 1));
        done += n;
    }
    ASSERT_EQ(0, c_APECompress_Finish(c.get(), nullptr, 0, 0));
    c_APECompress_Destroy(std::move(c));

    auto d = c_APEDecompress_Create(dir.File("t.ape"), &error);
    ASSERT_TRUE(d) << error;
    EXPECT_EQ(44100, c_APEDecompress_GetInfo(d.get(), apeInfoSampleRate));
    EXPECT_EQ(16, c_APEDecompress_GetInfo(d.get(), apeInfoBitsPerSample));
    EXPECT_EQ(2, c_APEDecompress_GetInfo(d.get(), apeInfoChannels));
    EXPECT_EQ(100000, c_APEDecompress_GetInfo(d.get(), apeDecompressTotalBlocks));
    EXPECT_EQ(44 + 400000, c_APEDecompress_GetInfo(d.get(), apeInfoWavTotalBytes));
    EXPECT_EQ(2267, c_APEDecompress_GetInfo(d.get(), apeDecompressLengthMs));
    EXPECT_EQ(apeFlagCreateWavHeader, c_APEDecompress_GetInfo(d.get(), apeInfoFormatFlags));
    // Room reserved for 2^32 - 1 blocks, as current official compressors do.
    const auto file = kestrune::test::ReadWholeFile(dir.File("t.ape"));
    EXPECT_EQ(233020u, uint32_t(file[16]) | uint32_t(file[17]) << 8 | uint32_t(file[18]) << 16);
    TWaveFormatEx got;
    EXPECT_EQ(0, c_APEDecompress_GetInfo(d.get(), apeInfoWaveFormatEx, reinterpret_cast<int64_t>(&got)));
    EXPECT_EQ(4u, got.nBlockAlign);
    std::vector<uint8_t> back(pcm.size());
    int64_t got1 = 0, got2 = 0;
    EXPECT_EQ(0, c_APEDecompress_GetData(d.get(), back.data(), 1000, &got1));
    EXPECT_EQ(0, c_APEDecompress_GetData(d.get(), back.data() + 4000, 1000000, &got2));
    EXPECT_EQ(1000, got1);
    EXPECT_EQ(99000, got2);
    EXPECT_EQ(pcm, back);
    int64_t none = -1;
    EXPECT_EQ(0, c_APEDecompress_GetData(d.get(), back.data(), 10, &none));
    EXPECT_EQ(0, none);
}

TEST(ApeCompressorApi, SeekTableReservationAndLimit)
{
    const TPcmFormat format{1, 16, 44100};
    // Announced length: exactly enough entries; more data is refused.
    const auto pcm = MakeSignal(TSignal::sgMusic, format, 73728 * 2 + 10);
    const auto exact = EncodeBuffer(format, pcm, 1000, int64_t(pcm.size()));
    ASSERT_FALSE(exact.empty());
    EXPECT_EQ(12u, uint32_t(exact[16]) | uint32_t(exact[17]) << 8);
    EXPECT_EQ(pcm, DecodeBytes(exact).Pcm);
    auto bytes = std::make_shared<std::vector<uint8_t>>();
    TApeCompressor compressor;
    TWaveFormatEx wave;
    FillWaveFormatEx(&wave, 44100, 16, 1);
    ASSERT_EQ(0, compressor.Start(std::make_unique<TApeMemoryOutput>(bytes), &wave, 73728 * 2, 1000, nullptr, -1));
    int32_t result = 0;
    for (size_t done = 0; done < pcm.size() && result == 0; done += 1000)
        result = compressor.AddData(pcm.data() + done, int64_t(std::min<size_t>(1000, pcm.size() - done)));
    if (result == 0)
        result = compressor.Finish(nullptr, 0, 0);
    EXPECT_EQ(apeErrTooMuchData, result);
}

TEST(ApeCompressorApi, EmptyInput)
{
    // The buffer compressor writes a valid file of no frames...
    const TPcmFormat format{2, 16, 44100};
    const auto file = EncodeBuffer(format, {}, 2000);
    ASSERT_FALSE(file.empty());
    const TDecoded back = DecodeBytes(file);
    EXPECT_EQ(0, back.CreateError);
    EXPECT_EQ(0, back.DataError);
    EXPECT_TRUE(back.Pcm.empty());
    // ...the file compressor refuses an empty WAV.
    kestrune::test::TTempDir dir;
    const auto wav = MakeWav(format, {});
    kestrune::test::WriteWholeFile(dir.File("e.wav"), wav);
    EXPECT_EQ(apeErrInputFileTooSmall, CompressFile(dir.File("e.wav"), dir.File("e.ape"), 2000));
}

// The whole-file compressor and the buffer compressor given the same header
// and an exact length write the same file; the file decodes to the WAV.
TEST(ApeFileCompressor, StoresHeaderAndTailAndMatchesBufferPath)
{
    kestrune::test::TTempDir dir;
    for (int bits : {8, 24}) {
        const TPcmFormat format{1, bits, 22050};
        const auto pcm = MakeSignal(TSignal::sgMusic, format, 80001);
        const auto wav = MakeWav(format, pcm, true);
        kestrune::test::WriteWholeFile(dir.File("in.wav"), wav);
        ASSERT_EQ(0, CompressFile(dir.File("in.wav"), dir.File("out.ape"), 3000));
        const auto ape = kestrune::test::ReadWholeFile(dir.File("out.ape"));
        ExpectMd5Matches(ape);
        ASSERT_EQ(0, DecompressFile(dir.File("out.ape"), dir.File("back.wav")));
        EXPECT_EQ(wav, kestrune::test::ReadWholeFile(dir.File("back.wav")));

        const size_t headerBytes = wav.size() - pcm.size() - 14 - (pcm.size() & 1);
        auto bytes = std::make_shared<std::vector<uint8_t>>();
        TApeCompressor compressor;
        TWaveFormatEx wave;
        FillWaveFormatEx(&wave, 22050, bits, 1);
        ASSERT_EQ(0, compressor.Start(std::make_unique<TApeMemoryOutput>(bytes), &wave, int64_t(pcm.size()), 3000,
                                      wav.data(), int64_t(headerBytes)));
        // Pieces that split blocks and frames anywhere.
        for (size_t done = 0, piece = 1; done < pcm.size(); done += piece, piece = piece * 3 % 70001 + 1)
            ASSERT_EQ(0, compressor.AddData(pcm.data() + done, int64_t(std::min(piece, pcm.size() - done))));
        const size_t tail = wav.size() - headerBytes - pcm.size();
        ASSERT_EQ(0, compressor.Finish(wav.data() + headerBytes + pcm.size(), int64_t(tail), int64_t(tail)));
        EXPECT_TRUE(ape == *bytes);
    }
}

class ApeDamage : public ::testing::Test {
protected:
    void SetUp() override
    {
        Pcm = MakeSignal(TSignal::sgMusic, Format, 73728 * 3 + 500);
        File = EncodeBuffer(Format, Pcm, 2000, int64_t(Pcm.size()));
        ASSERT_FALSE(File.empty());
    }
    TPcmFormat Format{2, 16, 44100};
    std::vector<uint8_t> Pcm;
    std::vector<uint8_t> File;
};

// A flipped byte anywhere inside a frame's coded data is an error, and
// nothing of that frame is handed out; frames before it decode.
TEST_F(ApeDamage, FlippedByteIsAnErrorNotAudio)
{
    const size_t frameData = 52 + 24 + 4 * 4;
    const size_t frameBytes = (File.size() - frameData) / 4;
    for (size_t offset : {frameData + 1, frameData + 2 * frameBytes + 77, frameData + frameBytes * 3 + 100}) {
        SCOPED_TRACE(offset);
        auto damaged = File;
        damaged[offset] ^= 0x10;
        const TDecoded back = DecodeBytes(damaged);
        EXPECT_EQ(0, back.CreateError);
        EXPECT_TRUE(back.DataError == apeErrInvalidChecksum || back.DataError == apeErrDecompressingFrame)
            << back.DataError;
        ASSERT_LE(back.Pcm.size(), Pcm.size());
        EXPECT_EQ(0u, back.Pcm.size() % (73728 * 4)) << "a damaged frame leaked audio";
        EXPECT_TRUE(std::equal(back.Pcm.begin(), back.Pcm.end(), Pcm.begin()));
    }
}

// Cut anywhere: either the file is refused when opened, or the audio up to
// the cut comes out and then an error; never a crash or wrong audio.
TEST_F(ApeDamage, TruncatedFileGivesPrefixAndError)
{
    for (size_t cut = 0; cut < File.size(); cut += cut < 200 ? 7 : 9973) {
        SCOPED_TRACE(cut);
        const std::vector<uint8_t> part(File.begin(), File.begin() + cut);
        const TDecoded back = DecodeBytes(part);
        if (back.CreateError)
            continue;
        EXPECT_NE(0, back.DataError);
        EXPECT_TRUE(std::equal(back.Pcm.begin(), back.Pcm.end(), Pcm.begin()));
    }
}

TEST_F(ApeDamage, SeekLandsOnTheRightBlock)
{
    TApeDecompressor d(std::make_unique<TApeMemoryInput>(File));
    std::vector<uint8_t> buf(4000 * 4);
    for (int64_t block : {int64_t(0), int64_t(73727), int64_t(73728), int64_t(150000), int64_t(73728 * 3 + 499),
                          int64_t(5), int64_t(73728 * 3 + 500)}) {
        SCOPED_TRACE(block);
        ASSERT_EQ(0, d.Seek(block));
        int64_t got = 0;
        ASSERT_EQ(0, d.GetData(buf.data(), 4000, &got));
        const int64_t expected = std::min<int64_t>(4000, int64_t(Pcm.size() / 4) - block);
        ASSERT_EQ(expected, got);
        EXPECT_EQ(0, std::memcmp(buf.data(), Pcm.data() + block * 4, size_t(got * 4)));
    }
    EXPECT_NE(0, d.Seek(73728 * 3 + 501));
    EXPECT_NE(0, d.Seek(-1));
}

TEST_F(ApeDamage, TaggedFilesDecode)
{
    // APEv2 tag with header and footer, then an ID3v1 tag.
    auto tagged = File;
    std::vector<uint8_t> item = {5, 0, 0, 0, 0, 0, 0, 0, 'T', 'i', 't', 'l', 'e', 0, 'h', 'e', 'l', 'l', 'o'};
    auto tagBlock = [&](uint32_t flags) {
        std::vector<uint8_t> b = {'A', 'P', 'E', 'T', 'A', 'G', 'E', 'X', 0xD0, 0x07, 0, 0};
        const uint32_t size = uint32_t(item.size() + 32);
        for (uint32_t v : {size, 1u, flags})
            for (int i = 0; i < 4; ++i)
                b.push_back(uint8_t(v >> (8 * i)));
        b.resize(32, 0);
        return b;
    };
    for (auto& part : {tagBlock(0xA0000000u), item, tagBlock(0x80000000u)})
        tagged.insert(tagged.end(), part.begin(), part.end());
    std::vector<uint8_t> id3v1(128, 0);
    std::memcpy(id3v1.data(), "TAG", 3);
    tagged.insert(tagged.end(), id3v1.begin(), id3v1.end());
    EXPECT_EQ(Pcm, DecodeBytes(tagged).Pcm);

    // ID3v2 in front, with a footer flag and zero padding after it.
    std::vector<uint8_t> id3 = {'I', 'D', '3', 4, 0, 0x10, 0, 0, 1, 3}; // 131 bytes of tag
    id3.resize(10 + 131 + 10 + 17, 0);
    id3.insert(id3.end(), tagged.begin(), tagged.end());
    const TDecoded back = DecodeBytes(id3);
    EXPECT_EQ(0, back.CreateError);
    EXPECT_EQ(0, back.DataError);
    EXPECT_EQ(Pcm, back.Pcm);
}

TEST(ApeDecompressorInput, RefusesWhatItCannotRead)
{
    EXPECT_EQ(apeErrInvalidInputFile, DecodeBytes({}).CreateError);
    const std::vector<uint8_t> text(5000, 'x');
    EXPECT_EQ(apeErrInvalidInputFile, DecodeBytes(text).CreateError);
    // A file claiming an older coder generation than we read.
    const TPcmFormat format{1, 16, 44100};
    auto file = EncodeBuffer(format, MakeSignal(TSignal::sgMusic, format, 100), 1000);
    file[4] = uint8_t(3930 & 0xFF);
    file[5] = uint8_t(3930 >> 8);
    EXPECT_EQ(apeErrUnsupportedFileType, DecodeBytes(file).CreateError);
    // Frames of a 3990 file read with the older coder generations are garbage
    // to them: an error, with no undefined behaviour on the way (the fuzzer
    // once found an oversized raw-bits read here).
    for (uint16_t version : {3950, 3970, 3980, 3989}) {
        SCOPED_TRACE(version);
        const TPcmFormat stereo{2, 16, 44100};
        file = EncodeBuffer(stereo, MakeSignal(TSignal::sgNoise, stereo, 3000), 2000, 12000);
        file[4] = uint8_t(version & 0xFF);
        file[5] = uint8_t(version >> 8);
        const TDecoded back = DecodeBytes(file);
        EXPECT_TRUE(back.CreateError != 0 || back.DataError != 0);
    }
    // A float source is out of scope.
    file = EncodeBuffer(format, MakeSignal(TSignal::sgMusic, format, 100), 1000);
    std::memcpy(file.data(), "MACF", 4);
    EXPECT_EQ(apeErrUnsupportedFileType, DecodeBytes(file).CreateError);
}

} // namespace
} // namespace kestrune::ape::test
