#define ZSTD_STATIC_LINKING_ONLY
#include "core/base/compression.h"

#include <gtest/gtest.h>
#include <zlib.h>
#include <zstd.h>

#include <cstdio>
#include <functional>
#include <map>
#include <random>
#include <string>

#include "core/base/base64.h"
#include "support/files.h"

namespace omber::base {
namespace {

using Bytes = std::vector<std::uint8_t>;
using testing::conformancePath;
using testing::readBytes;

// What a wrapper call gave: the bytes, or the error text.
struct Outcome {
  bool ok = false;
  Bytes bytes;
  std::string error;
  bool operator==(const Outcome& o) const { return ok == o.ok && bytes == o.bytes && error == o.error; }
};

Outcome run(const std::function<Bytes()>& call) {
  Outcome o;
  try {
    o.bytes = call();
    o.ok = true;
  } catch (const CompressionError& e) {
    o.error = e.what();
  }
  return o;
}

std::string describe(const Outcome& o) {
  return o.ok ? "ok, " + std::to_string(o.bytes.size()) + " bytes" : "error \"" + o.error + "\"";
}

Bytes viewBytes(ByteView v) { return Bytes(v.data, v.data + v.size); }

Outcome fastZstd(ZstdDecoder& d, const Bytes& in) {
  return run([&] { return viewBytes(d.decompress(in.data(), in.size())); });
}
Outcome stepwiseZstd(ZstdDecoder& d, const Bytes& in) {
  return run([&] { return viewBytes(d.decompressStepwise(in.data(), in.size())); });
}

Outcome wrapper(const std::string& function, const Bytes& in) {
  if (function == "zstdDecompress") return run([&] { return zstdDecompress(in.data(), in.size()); });
  return run([&] { return inflateRaw(in.data(), in.size()); });
}

// Finds `name` anywhere below `dir`.
std::string locate(const std::string& dir, const std::string& name) {
  for (const auto& rel : testing::filesEndingWith(dir, name)) {
    if (std::filesystem::path(rel).filename() == name) return dir + "/" + rel;
  }
  return {};
}

// The outcome tables of the compression folders. zstd-golden is left to its
// own test below, because its outcomes depend on the libzstd version.
TEST(CompressionConformance, EveryStreamGivesItsPinnedOutcome) {
  int checked = 0;
  for (const char* folder : {"compression-generated", "deflate-wuffs"}) {
    const std::string dir = conformancePath(folder);
    for (const auto& row : testing::readmeFileRows(dir + "/README.md")) {
      if (row.size() != 3) continue;
      const std::string path = locate(dir, row[0]);
      ASSERT_FALSE(path.empty()) << row[0];
      const Outcome got = wrapper(row[1], readBytes(path));
      EXPECT_EQ(describe(got), row[2]) << folder << "/" << row[0];
      ++checked;
      // Where the folder has the plain text, the output must be exactly it.
      const Bytes decompressed = readBytes(path + ".decompressed");
      if (got.ok && std::filesystem::exists(path + ".decompressed")) {
        EXPECT_EQ(got.bytes, decompressed) << row[0];
      }
    }
  }
  EXPECT_EQ(checked, 28 + 11);

  const Bytes seq = readBytes(conformancePath("compression-generated/seq-1-20000.txt"));
  const Bytes cut = inflateRaw(nullptr, 0);
  const Bytes half = readBytes(conformancePath("compression-generated/deflate-seq-truncated-half.deflate"));
  const Bytes prefix = inflateRaw(half.data(), half.size());
  EXPECT_TRUE(cut.empty());
  EXPECT_TRUE(std::equal(prefix.begin(), prefix.end(), seq.begin())) << "a cut stream yields a prefix";
  const Bytes romeo = readBytes(conformancePath("deflate-wuffs/romeo.txt"));
  const Bytes zst = readBytes(conformancePath("deflate-wuffs/romeo.txt.zst"));
  EXPECT_EQ(zstdDecompress(zst.data(), zst.size()), romeo);
}

// Debian 12 ships libzstd 1.5.4. Upstream's golden files expect verdicts that
// newer releases give: zeroSeq_2B.zst decodes (a 2-byte zero sequence count,
// accepted from 1.5.6 on), and the three error files fail (checks added in
// 2024). 1.5.4 rejects the first and decodes the others; that is what the
// system library does, so it is what the wrapper reports there.
TEST(CompressionConformance, ZstdGoldenFilesFollowTheLinkedLibrary) {
  const bool upstreamVerdicts = ZSTD_versionNumber() >= 10506;
  const std::string dir = conformancePath("zstd-golden");
  const std::map<std::string, std::string> v154 = {
      {"decompression/block-128k.zst", "ok, 131068 bytes"},
      {"decompression/empty-block.zst", "ok, 0 bytes"},
      {"decompression/rle-first-block.zst", "ok, 1048576 bytes"},
      {"decompression/zeroSeq_2B.zst", "error \"zstd: Src size is incorrect\""},
      {"decompression-errors/off0.bin.zst", "ok, 18 bytes"},
      {"decompression-errors/truncated_huff_state.zst", "ok, 7 bytes"},
      {"decompression-errors/zeroSeq_extraneous.zst", "ok, 13 bytes"},
  };
  for (const auto& [name, expected] : v154) {
    const Outcome got = wrapper("zstdDecompress", readBytes(dir + "/" + name));
    if (!upstreamVerdicts) {
      EXPECT_EQ(describe(got), expected) << name;
    } else {
      EXPECT_EQ(got.ok, name.rfind("decompression/", 0) == 0) << name << ": " << describe(got);
    }
  }
}

TEST(Zstd, EmptyInputGarbageAndTrailingBytes) {
  EXPECT_TRUE(zstdDecompress(nullptr, 0).empty());
  const Bytes garbage = {1, 2, 3, 4, 5, 6, 7, 8, 9};
  const Outcome bad = run([&] { return zstdDecompress(garbage.data(), garbage.size()); });
  ASSERT_FALSE(bad.ok);
  EXPECT_EQ(bad.error.rfind("zstd: ", 0), 0u);

  const std::string text = "hello, hello, hello";
  Bytes frame(ZSTD_compressBound(text.size()));
  frame.resize(ZSTD_compress(frame.data(), frame.size(), text.data(), text.size(), 3));
  frame.insert(frame.end(), garbage.begin(), garbage.end());
  EXPECT_EQ(zstdDecompress(frame.data(), frame.size()), Bytes(text.begin(), text.end()));
}

// A frame of `size` zero bytes that declares its size, built without holding
// the input.
Bytes zeroFrameDeclaring(std::size_t size) {
  ZSTD_CCtx* c = ZSTD_createCCtx();
  ZSTD_CCtx_setParameter(c, ZSTD_c_checksumFlag, 1);
  ZSTD_CCtx_setPledgedSrcSize(c, size);
  const Bytes zeros(1 << 20);
  Bytes out(1 << 20);
  std::size_t written = 0;
  for (std::size_t left = size;;) {
    const std::size_t take = std::min(left, zeros.size());
    left -= take;
    ZSTD_inBuffer in{zeros.data(), take, 0};
    const auto mode = left ? ZSTD_e_continue : ZSTD_e_end;
    std::size_t pending;
    do {
      if (out.size() - written < (1 << 16)) out.resize(out.size() * 2);
      ZSTD_outBuffer o{out.data() + written, out.size() - written, 0};
      pending = ZSTD_compressStream2(c, &o, &in, mode);
      EXPECT_FALSE(ZSTD_isError(pending));
      written += o.pos;
    } while (in.pos < in.size || (mode == ZSTD_e_end && pending != 0));
    if (!left) break;
  }
  ZSTD_freeCCtx(c);
  out.resize(written);
  return out;
}

// The one-pass shortcut must fail exactly where the step-wise algorithm does:
// a frame of exactly the cap decodes, one byte more fails after the cap check.
TEST(Zstd, CapWithDeclaredContentSize) {
  ZstdDecoder d;
  const Bytes atCap = zeroFrameDeclaring(kZstdOutputCap);
  const ByteView v = d.decompress(atCap.data(), atCap.size());
  EXPECT_EQ(v.size, kZstdOutputCap);
  EXPECT_TRUE(v.data[0] == 0 && v.data[v.size - 1] == 0);
  const Bytes over = zeroFrameDeclaring(kZstdOutputCap + 1);
  EXPECT_EQ(describe(fastZstd(d, over)), "error \"zstd: decompressed output exceeds cap\"");
  EXPECT_EQ(describe(stepwiseZstd(d, over)), "error \"zstd: decompressed output exceeds cap\"");
}

// Frames in every shape the shortcut must tell apart (content size declared
// or not, checksum or not, sizes around the 131,072-byte step, cut, with
// trailing bytes, corrupted, preceded by a skippable frame): the decoder's
// result must equal the step-wise algorithm's, bytes or error text.
TEST(Zstd, OnePassShortcutMatchesTheStepwiseAlgorithm) {
  std::mt19937 rng(1234);
  ZstdDecoder d;
  ZstdDecoder reference;
  ZSTD_CCtx* c = ZSTD_createCCtx();
  int compared = 0;
  const auto same = [&](const Bytes& in, const std::string& what) {
    const Outcome a = fastZstd(d, in);
    const Outcome b = stepwiseZstd(reference, in);
    EXPECT_TRUE(a == b) << what << ": " << describe(a) << " vs " << describe(b);
    ++compared;
    return a;
  };
  for (std::size_t size : {0ul, 1ul, 1000ul, 131071ul, 131072ul, 131073ul, 262144ul, 262145ul, 700001ul}) {
    Bytes plain(size);
    for (auto& b : plain) b = static_cast<std::uint8_t>(rng() % 7);  // compressible noise
    for (int flags = 0; flags < 4; ++flags) {
      ZSTD_CCtx_reset(c, ZSTD_reset_session_and_parameters);
      ZSTD_CCtx_setParameter(c, ZSTD_c_contentSizeFlag, flags & 1);
      ZSTD_CCtx_setParameter(c, ZSTD_c_checksumFlag, (flags >> 1) & 1);
      Bytes frame(ZSTD_compressBound(size));
      frame.resize(ZSTD_compress2(c, frame.data(), frame.size(), plain.data(), plain.size()));
      const std::string what = "size " + std::to_string(size) + " flags " + std::to_string(flags);

      const Outcome whole = same(frame, what);
      EXPECT_TRUE(whole.ok && whole.bytes == plain) << what;
      Bytes trailing = frame;
      trailing.insert(trailing.end(), frame.begin(), frame.end());  // a second frame is ignored
      EXPECT_EQ(same(trailing, what + " twice").bytes, plain);
      for (std::size_t cut : {std::size_t{1}, std::size_t{5}, frame.size() / 2, frame.size() - 1}) {
        if (cut < frame.size()) same(Bytes(frame.begin(), frame.begin() + cut), what + " cut");
      }
      for (int k = 0; k < 8; ++k) {
        Bytes corrupt = frame;
        corrupt[rng() % corrupt.size()] ^= static_cast<std::uint8_t>(1 + rng() % 255);
        same(corrupt, what + " corrupt");
      }
      Bytes skippable = {0x50, 0x2A, 0x4D, 0x18, 3, 0, 0, 0, 9, 9, 9};
      skippable.insert(skippable.end(), frame.begin(), frame.end());
      EXPECT_TRUE(same(skippable, what + " skippable").bytes.empty());
    }
  }
  ZSTD_freeCCtx(c);
  EXPECT_GT(compared, 400);
}

// A raw block of one byte more than a block may hold, in a frame declaring
// its size: the streaming session refuses it, so the decoder must too.
Bytes oversizedRawBlockFrame(unsigned n, std::uint8_t frameHeaderDescriptor, std::uint8_t window) {
  Bytes f = {0x28, 0xB5, 0x2F, 0xFD, frameHeaderDescriptor};
  if (!(frameHeaderDescriptor & 0x20)) f.push_back(window);
  for (int i = 0; i < 4; ++i) f.push_back(static_cast<std::uint8_t>(n >> (8 * i)));
  const unsigned header = (n << 3) | 1;  // last block, raw
  for (int i = 0; i < 3; ++i) f.push_back(static_cast<std::uint8_t>(header >> (8 * i)));
  f.resize(f.size() + n, 0x5A);
  return f;
}

// The step-wise algorithm opens a new stream per call; a streaming session's
// verdict on a corrupt frame depends on the buffers it holds, so a reused
// decoder must give what a new one gives whatever it decoded before.
TEST(Zstd, OutcomeDoesNotDependOnEarlierFrames) {
  const std::string big(3000000, 'a');
  Bytes bigFrame(ZSTD_compressBound(big.size()));
  bigFrame.resize(ZSTD_compress(bigFrame.data(), bigFrame.size(), big.data(), big.size(), 19));
  std::vector<Bytes> inputs = {
      // Found by fuzzing: 8 RLE blocks declaring 1 MiB, never finished.
      base64DecodeClip("KLUv/aQAABAAAgAQAAIAEAACABAAAgAQAAIAEAACABAAAgAotS/9EAADAAAQAPE+ABbhFQAAAAA="),
      oversizedRawBlockFrame(131073, 0xA0, 0),     // single segment
      oversizedRawBlockFrame(131073, 0x80, 0x00),  // 1 KiB window
      oversizedRawBlockFrame(100000, 0x80, 0x00),
  };
  for (const Bytes& in : inputs) {
    ZstdDecoder fresh, used, usedStepwise;
    used.decompress(bigFrame.data(), bigFrame.size());
    usedStepwise.decompressStepwise(bigFrame.data(), bigFrame.size());
    const Outcome reference = stepwiseZstd(fresh, in);
    EXPECT_EQ(describe(fastZstd(used, in)), describe(reference));
    EXPECT_EQ(describe(stepwiseZstd(usedStepwise, in)), describe(reference));
  }
  ZstdDecoder d;
  EXPECT_EQ(describe(fastZstd(d, inputs[0])), "error \"zstd: Destination buffer is too small\"");
  EXPECT_EQ(describe(fastZstd(d, inputs[1])), "error \"zstd: Data corruption detected\"");
  EXPECT_EQ(describe(fastZstd(d, inputs[3])), "ok, 100000 bytes");
}

// A streaming session decoding the first frame straight into a buffer of
// its declared size (stable output: no ring, the whole history in the
// output), the input in two pieces so that it decodes block by block.
Outcome stableOutputZstd(const Bytes& in) {
  Outcome o;
  const unsigned long long declared = ZSTD_getFrameContentSize(in.data(), in.size());
  const std::size_t frameSize = ZSTD_findFrameCompressedSize(in.data(), in.size());
  if (declared > (1ull << 30) || ZSTD_isError(frameSize) || frameSize < 2) return o;
  o.bytes.resize(static_cast<std::size_t>(declared));
  ZSTD_DCtx* ctx = ZSTD_createDCtx();
  ZSTD_DCtx_setParameter(ctx, ZSTD_d_stableOutBuffer, 1);
  ZSTD_outBuffer out{o.bytes.data(), o.bytes.size(), 0};
  ZSTD_inBuffer piece{in.data(), frameSize - 1, 0};
  std::size_t ret = ZSTD_decompressStream(ctx, &out, &piece);
  if (!ZSTD_isError(ret)) {
    piece.size = frameSize;
    ret = ZSTD_decompressStream(ctx, &out, &piece);
  }
  ZSTD_freeDCtx(ctx);
  o.ok = !ZSTD_isError(ret) && ret == 0;
  if (o.ok)
    o.bytes.resize(out.pos);
  else
    o.error = ZSTD_isError(ret) ? std::string("zstd: ") + ZSTD_getErrorName(ret) : "cut short";
  return o;
}

Bytes compressWithWindow(const Bytes& plain, int windowLog, bool checksum, int level = 3) {
  ZSTD_CCtx* c = ZSTD_createCCtx();
  ZSTD_CCtx_setParameter(c, ZSTD_c_compressionLevel, level);
  ZSTD_CCtx_setParameter(c, ZSTD_c_windowLog, windowLog);
  ZSTD_CCtx_setParameter(c, ZSTD_c_checksumFlag, checksum ? 1 : 0);
  Bytes frame(ZSTD_compressBound(plain.size()));
  frame.resize(ZSTD_compress2(c, frame.data(), frame.size(), plain.data(), plain.size()));
  ZSTD_freeCCtx(c);
  return frame;
}

// Slices whose window is smaller than their content: the streaming session
// decodes them through a ring buffer, the decoder straight into its output.
// Whole, cut, corrupted: the outcome must be the step-wise algorithm's. The
// one allowed difference is a corrupt frame that reaches back past its
// window, which must then be read as a streaming session decoding into a
// buffer of the declared size reads it.
TEST(Zstd, WindowSmallerThanTheFrameMatchesTheStepwiseAlgorithm) {
  std::mt19937 rng(77);
  ZstdDecoder d, reference;
  int compared = 0, pastWindow = 0;
  for (int windowLog : {10, 12, 17}) {
    for (std::size_t size : {200000ul, 700001ul}) {
      // Bursts of noise between silence, and a repeat of an earlier stretch.
      Bytes plain(size, 0);
      for (std::size_t i = 0; i < size; ++i) {
        if ((i / 3000) % 4 == 0) plain[i] = static_cast<std::uint8_t>(rng() % 11);
      }
      std::copy(plain.begin(), plain.begin() + 20000, plain.end() - 20000);
      for (bool checksum : {false, true}) {
        const Bytes frame = compressWithWindow(plain, windowLog, checksum);
        const std::string what = "window 2^" + std::to_string(windowLog) + ", " + std::to_string(size) + " bytes";
        const Outcome whole = fastZstd(d, frame);
        EXPECT_TRUE(whole.ok && whole.bytes == plain) << what;
        EXPECT_TRUE(whole == stepwiseZstd(reference, frame)) << what;
        for (std::size_t cut : {frame.size() / 3, frame.size() - 1}) {
          const Bytes part(frame.begin(), frame.begin() + cut);
          EXPECT_TRUE(fastZstd(d, part) == stepwiseZstd(reference, part)) << what << " cut";
        }
        for (int k = 0; k < 12; ++k) {
          Bytes corrupt = frame;
          corrupt[6 + rng() % (corrupt.size() - 6)] ^= static_cast<std::uint8_t>(1 + rng() % 255);
          const Outcome a = fastZstd(d, corrupt);
          const Outcome b = stepwiseZstd(reference, corrupt);
          ++compared;
          if (a == b) continue;
          ++pastWindow;
          EXPECT_TRUE(a.ok && a == stableOutputZstd(corrupt))
              << what << " corrupt: " << describe(a) << " vs " << describe(b);
        }
      }
    }
  }
  EXPECT_EQ(compared, 3 * 2 * 2 * 12);
  EXPECT_LT(pastWindow, compared / 4);
}

// A frame written with a 1 MiB window whose header claims 128 KiB: its
// matches reach 600 KiB back. The streaming session's ring no longer holds
// that history; the decoder reads it from its output, like a session
// decoding into a buffer of the whole size, and gets the bytes that were
// compressed.
TEST(Zstd, FrameReachingPastItsDeclaredWindowIsReadWithItsWholeHistory) {
  std::mt19937 rng(5);
  Bytes plain(1500000);
  for (std::size_t i = 0; i < 600000; ++i) plain[i] = static_cast<std::uint8_t>(rng());
  for (std::size_t i = 600000; i < plain.size(); ++i) plain[i] = plain[i - 600000];
  Bytes frame = compressWithWindow(plain, 20, false);
  ASSERT_EQ(frame[4] & 0x20, 0) << "the frame must carry a window descriptor";
  ASSERT_EQ(frame[5], 0x50) << "1 MiB";
  frame[5] = 0x38;  // 128 KiB
  ZstdDecoder d;
  const Outcome stepwise = stepwiseZstd(d, frame);
  EXPECT_FALSE(stepwise.ok && stepwise.bytes == plain) << describe(stepwise);
  const Outcome fast = fastZstd(d, frame);
  EXPECT_TRUE(fast.ok && fast.bytes == plain) << describe(fast);
  EXPECT_TRUE(fast == stableOutputZstd(frame));
}

// Frames whose window buffer is smaller than their content, with blocks
// the streaming session refuses or that decode past the declared size (the
// session finds out at the frame's end, the decoder must stop writing at the
// declared size plus one ring). Found nowhere in the field; each must fail as
// in the streaming session.
TEST(Zstd, CorruptBlocksInAWindowedFrameFailAsInTheStreamingSession) {
  std::vector<Bytes> frames;
  // One raw block larger than a 1 KiB window's blocks may be.
  for (unsigned n : {133185u, 200000u}) frames.push_back(oversizedRawBlockFrame(n, 0x80, 0x00));
  // 140,000 bytes declared, 400 RLE blocks of 1 KiB each: 409,600 decoded.
  Bytes rle = {0x28, 0xB5, 0x2F, 0xFD, 0x80, 0x00};
  for (int i = 0; i < 4; ++i) rle.push_back(static_cast<std::uint8_t>(140000u >> (8 * i)));
  for (int b = 0; b < 400; ++b) {
    const unsigned header = (1024u << 3) | (1u << 1) | (b == 399 ? 1u : 0u);  // RLE
    for (int i = 0; i < 3; ++i) rle.push_back(static_cast<std::uint8_t>(header >> (8 * i)));
    rle.push_back(0x11);
  }
  frames.push_back(rle);
  for (const Bytes& frame : frames) {
    ZstdDecoder fresh, reference;
    const Outcome stepwise = stepwiseZstd(reference, frame);
    EXPECT_EQ(describe(fastZstd(fresh, frame)), describe(stepwise));
    EXPECT_EQ(describe(stepwise), "error \"zstd: Data corruption detected\"");
  }
}

TEST(Zstd, DecoderIsReusableAfterErrorsAndMoves) {
  const std::string text(300000, 'x');
  Bytes frame(ZSTD_compressBound(text.size()));
  frame.resize(ZSTD_compress(frame.data(), frame.size(), text.data(), text.size(), 1));
  const Bytes garbage = {1, 2, 3, 4, 5, 6, 7, 8, 9};
  ZstdDecoder d;
  EXPECT_FALSE(fastZstd(d, garbage).ok);
  EXPECT_EQ(fastZstd(d, frame).bytes.size(), text.size());
  ZstdDecoder moved = std::move(d);
  EXPECT_EQ(fastZstd(moved, frame).bytes.size(), text.size());
  EXPECT_EQ(fastZstd(d, frame).bytes.size(), text.size());  // a moved-from decoder starts afresh
}

TEST(Deflate, RoundTripAndHeaderCarryingStreamsFail) {
  const Bytes seq = readBytes(conformancePath("compression-generated/seq-1-20000.txt"));
  const Bytes packed = deflateRaw(seq.data(), seq.size());
  EXPECT_LT(packed.size(), seq.size() / 2);
  EXPECT_EQ(inflateRaw(packed.data(), packed.size()), seq);
  EXPECT_EQ(inflateRaw(deflateRaw(nullptr, 0).data(), 2), Bytes{});
  for (int level : {0, 1, 9}) {
    const Bytes p = deflateRaw(seq.data(), seq.size(), level);
    EXPECT_EQ(inflateRaw(p.data(), p.size()), seq) << level;
  }
  EXPECT_EQ(describe(run([&] { return deflateRaw(seq.data(), seq.size(), 42); })), "error \"deflateInit2 failed\"");
  // zlib takes 32-bit lengths: a larger input is refused, never cut silently.
  EXPECT_EQ(describe(run([&] { return deflateRaw(seq.data(), std::size_t{1} << 32); })),
            "error \"deflate did not finish\"");

  uLongf zlen = compressBound(seq.size());
  Bytes zlibWrapped(zlen);
  ASSERT_EQ(compress(zlibWrapped.data(), &zlen, seq.data(), seq.size()), Z_OK);
  zlibWrapped.resize(zlen);
  EXPECT_EQ(describe(run([&] { return inflateRaw(zlibWrapped.data(), zlibWrapped.size()); })),
            "error \"inflate failed\"");
}

// A stream that is flushed but never finished makes inflate ask for one more
// step after its last byte; that step is checked against the cap like any
// other, so output within a step of the cap fails although no data follows.
TEST(Deflate, CapCheckPrecedesEveryStep) {
  const auto syncFlushed = [](std::size_t zeros) {
    const Bytes plain(zeros);
    z_stream s{};
    deflateInit2(&s, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    Bytes out(deflateBound(&s, plain.size()) + 64);
    s.next_in = const_cast<Bytef*>(plain.data());
    s.avail_in = static_cast<uInt>(plain.size());
    s.next_out = out.data();
    s.avail_out = static_cast<uInt>(out.size());
    deflate(&s, Z_SYNC_FLUSH);
    out.resize(s.total_out);
    deflateEnd(&s);
    return out;
  };
  const Bytes fits = syncFlushed(kInflateOutputCap - kInflateStepBytes - 10);
  EXPECT_EQ(inflateRaw(fits.data(), fits.size()).size(), kInflateOutputCap - kInflateStepBytes - 10);
  const Bytes nearCap = syncFlushed(kInflateOutputCap - 10);
  EXPECT_EQ(describe(run([&] { return inflateRaw(nearCap.data(), nearCap.size()); })),
            "error \"inflate output exceeds cap\"");
}

std::string runCommand(const std::string& command) {
  std::string out;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return out;
  char buf[4096];
  for (std::size_t n; (n = fread(buf, 1, sizeof buf, pipe)) > 0;) out.append(buf, n);
  pclose(pipe);
  return out;
}

// Raw deflate streams written by Node's zlib inflate here, and ours inflate
// in Node: the host script and the engine exchange them in both directions.
TEST(Deflate, InteroperatesWithNode) {
  const std::string seqPath = conformancePath("compression-generated/seq-1-20000.txt");
  const Bytes seq = readBytes(seqPath);
  const std::string fromNode = runCommand(
      "node -e \"const z=require('zlib'),fs=require('fs');"
      "process.stdout.write(z.deflateRawSync(fs.readFileSync(process.argv[1])).toString('base64'))\" '" +
      seqPath + "'");
  ASSERT_FALSE(fromNode.empty()) << "node did not run";
  const Bytes nodeStream = base64DecodeClip(fromNode);
  EXPECT_EQ(inflateRaw(nodeStream.data(), nodeStream.size()), seq);

  const Bytes ours = deflateRaw(seq.data(), seq.size());
  const std::string path = (std::filesystem::temp_directory_path() / "omber-deflate-interop.bin").string();
  {
    std::ofstream f(path, std::ios::binary);
    f.write(reinterpret_cast<const char*>(ours.data()), static_cast<std::streamsize>(ours.size()));
  }
  const std::string inflatedByNode = runCommand(
      "node -e \"const z=require('zlib'),fs=require('fs');"
      "process.stdout.write(z.inflateRawSync(fs.readFileSync(process.argv[1])))\" '" +
      path + "'");
  std::filesystem::remove(path);
  EXPECT_EQ(inflatedByNode, std::string(seq.begin(), seq.end()));
}

}  // namespace
}  // namespace omber::base
