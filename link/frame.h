// Link frames: the unit exchanged between the engine and each omber~ instance
// over one loopback TCP connection.
//
//   offset 0  u32 length  = 1 + payload size (1 .. kMaxFrameLength)
//   offset 4  u8  type
//   offset 5  payload (length - 1 bytes)
//
// Every multi-byte field is little-endian. This one codec is compiled into
// both deliverables. Nothing here allocates on its own except the returned
// vectors and the reader's receive buffer; nothing here is realtime-safe.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace omber::link {

enum class FrameType : std::uint8_t {
  Init = 1,           // engine -> player: u32 rate, u16 channels, u32 frames, f32 samples
  Patch = 2,          // engine -> players: u32 start frame, f32 stereo samples
  Swap = 3,           // engine -> players: as Init, rate always 48000
  Band = 4,           // engine -> players: f64 start s, f64 end s
  Seek = 5,           // engine -> players: f64 seconds
  Loop = 6,           // engine -> players: u8 flag (empty = off)
  Capture = 7,        // engine -> feeders: u8 flag (empty = off)
  Run = 8,            // engine -> players: u8 flag (empty = hold)
  Hello = 0x80,       // omber~ -> engine: u8 role, i32 rate, u16 channels
  Position = 0x81,    // omber~ -> engine: f64 play head s, i32 swap count
  CapturePcm = 0x82,  // omber~ -> engine: u32 frames, f32 stereo samples at 48 kHz
  Token = 0x83        // omber~ -> bridge, first frame of a connection: the token's bytes
};

constexpr std::uint32_t kMaxFrameLength = 268435456;  // 0x10000000
constexpr std::size_t kLengthBytes = 4;
constexpr std::size_t kHeaderBytes = 5;  // length + type
constexpr std::uint32_t kStreamRate = 48000;
constexpr std::size_t kMaxTokenBytes = 64;  // a bridge token is 1 to 64 bytes
// Init and Swap carry the channel count in 16 bits.
constexpr std::uint32_t kMaxChannels = 65535;

// Roles announced in Hello.
constexpr std::uint8_t kRolePlayer = 0;
constexpr std::uint8_t kRoleFeeder = 1;

// ---- little-endian payload builders (append to a byte vector) ----
void putU8(std::vector<std::uint8_t>& out, std::uint8_t v);
void putU16(std::vector<std::uint8_t>& out, std::uint16_t v);
void putU32(std::vector<std::uint8_t>& out, std::uint32_t v);
void putI32(std::vector<std::uint8_t>& out, std::int32_t v);
void putF64(std::vector<std::uint8_t>& out, double v);
// f32 samples are copied as they lie in memory (the wire is little-endian,
// as is every machine this builds for).
void putF32s(std::vector<std::uint8_t>& out, const float* samples, std::size_t count);

// ---- little-endian field readers (caller checks the size first) ----
inline std::uint16_t getU16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }
inline std::uint32_t getU32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
inline std::int32_t getI32(const std::uint8_t* p) { return static_cast<std::int32_t>(getU32(p)); }
inline double getF64(const std::uint8_t* p) {
  double v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

// A whole frame: length, type, payload. Allocates the result.
std::vector<std::uint8_t> encodeFrame(std::uint8_t type, const std::uint8_t* payload, std::size_t size);
std::vector<std::uint8_t> encodeFrame(FrameType type, const std::vector<std::uint8_t>& payload);

// Frame writer for large payloads: begin() reserves the header, the caller
// appends the payload with the put* builders, finish() writes the length.
// Lets a 23 MB buffer become a frame with one copy.
std::size_t beginFrame(std::vector<std::uint8_t>& out, FrameType type, std::size_t payloadHint = 0);
void finishFrame(std::vector<std::uint8_t>& out, std::size_t frameStart);

// ---- typed frames ----
// Init and Swap: channels are clamped to at least 1, frames = sampleCount / channels;
// every given sample follows. A null pointer writes an empty sample block.
// A channel count above kMaxChannels does not fit the frame: the result is
// then empty (no frame at all), never a frame announcing another count.
std::vector<std::uint8_t> encodeBuffer(FrameType type, const float* samples, std::size_t sampleCount,
                                       std::int32_t channels, std::uint32_t sampleRate);
// Patch: start frame, then frames x 2 samples (null pointer: empty block).
std::vector<std::uint8_t> encodePatch(std::uint32_t startFrame, const float* stereo, std::size_t frames);
std::vector<std::uint8_t> encodeBand(double startSeconds, double endSeconds);
std::vector<std::uint8_t> encodeSeek(double seconds);
// Loop, Capture, Run.
std::vector<std::uint8_t> encodeFlag(FrameType type, bool on);
std::vector<std::uint8_t> encodeHello(std::uint8_t role, std::int32_t sampleRate, std::uint16_t channels);
std::vector<std::uint8_t> encodePosition(double playHeadSeconds, std::int32_t swapCount);
std::vector<std::uint8_t> encodeCapturePcm(const float* stereo, std::uint32_t frames);
// Token: the token's bytes as they are, no terminator (the caller keeps it
// within 1 to kMaxTokenBytes).
std::vector<std::uint8_t> encodeToken(const std::string& token);

// Cuts frames out of one connection's byte stream.
//
// feed() hands every complete frame to the handler exactly once, in stream
// order. The length is checked as soon as its four bytes are present, so an
// oversized announcement fails before any of its payload is buffered. The
// payload pointer is valid only during the handler call.
//
// Frames that arrive whole inside one chunk are handed over straight from
// the caller's bytes; only an incomplete tail is kept, so the buffer is
// compacted at most once per feed. The buffer grows with the bytes that
// arrive (doubling, up to the size of the frame being collected), never
// with the length a frame announces, so a peer cannot make the reader hold
// more memory than it has sent. Its memory is kept for later frames, so a
// long-lived reader stops allocating once it has seen its largest frame.
// When the memory for a frame cannot be had, the reader fails as it does on
// an invalid length (outOfMemory() tells the two apart).
//
// Not thread-safe: one reader per connection, used by one thread. Not
// realtime-safe. The handler must not destroy the reader. A feed from inside
// the handler is refused: it fails the reader (false, or "bad frame len")
// instead of corrupting the frame being handed over.
class FrameReader {
 public:
  using Handler = std::function<void(std::uint8_t type, const std::uint8_t* payload, std::uint64_t size)>;

  // An empty handler drops every frame.
  explicit FrameReader(Handler handler, std::uint32_t maxLength = kMaxFrameLength);

  // The omber~ flavour: false on an invalid length or when a frame cannot be
  // held. After a failure the reader stays failed and every later feed
  // returns false. An exception thrown by the handler propagates and also
  // leaves the reader failed.
  bool feed(const std::uint8_t* data, std::size_t count);

  // The engine flavour: throws std::runtime_error("bad frame len") where
  // feed() fails on a length, std::bad_alloc where it fails on memory.
  void feedOrThrow(const std::uint8_t* data, std::size_t count);

  bool failed() const { return failed_; }
  // The failure was a frame the memory could not hold.
  bool outOfMemory() const { return outOfMemory_; }
  // Bytes of an incomplete frame waiting for more input.
  std::size_t buffered() const { return pending_.size; }
  // Bytes the receive buffer holds room for.
  std::size_t capacity() const { return pending_.capacity; }

 private:
  // The receive buffer: malloc'd, so that growing a large one can move its
  // pages instead of copying them; grows without zero-filling.
  struct Buffer {
    struct Free {
      void operator()(std::uint8_t* p) const noexcept;
    };
    std::unique_ptr<std::uint8_t, Free> bytes;
    std::size_t size = 0;
    std::size_t capacity = 0;
    // Room for `needed` bytes: at least twice the old room, but not more
    // than `ceiling` (the whole frame being collected) unless `needed` is.
    // False, with the bytes kept, when the memory is not available.
    bool reserve(std::size_t needed, std::size_t ceiling) noexcept;
    bool append(const std::uint8_t* data, std::size_t count, std::size_t ceiling) noexcept;
    void release() noexcept;
  };

  bool lengthValid(std::uint32_t length) const { return length != 0 && length <= maxLength_; }
  bool feedImpl(const std::uint8_t* data, std::size_t count);
  bool noMemory() {
    outOfMemory_ = true;
    return false;
  }

  Handler handler_;
  std::uint32_t maxLength_;
  Buffer pending_;
  bool failed_ = false;
  bool outOfMemory_ = false;
  bool feeding_ = false;
};

}  // namespace omber::link
