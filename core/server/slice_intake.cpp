// What the server streams once the handshake is complete: the initial source,
// server events, swapped sources and slices merged into the source buffer
// and handed to playback.
//
// The hot path is the slice: its samples are widened (or widened and added)
// straight from the message, or from the decoder's output, into the source
// buffer, and each merged block goes on into the players' Patch frame while
// still in cache. The source buffer is never reallocated by a slice.
#include <algorithm>
#include <cmath>
#include <exception>
#include <limits>

#include "core/base/number_text.h"
#include "core/base/text.h"
#include "core/base/half_float.h"
#include "core/server/server_session.h"
#include "link/frame.h"

namespace omber::server {
using namespace omber::base;
namespace {

// kind (1) + start frame (4) + five fields the server fills and the engine
// reads past (4 + 2 + 4 + 4 + 4).
constexpr std::size_t kSliceHeaderBytes = 23;
constexpr std::uint8_t kKindDifference = 1;
// An announced duration may differ from the audio by rounding: 10 ms.
constexpr double kDurationTolerance = 0.01;

// Samples merged per step: a step's results (8 KiB) are still in the core's
// first-level cache when they are appended to the frame (steps of 1,024 and
// 4,096 samples measured slower).
constexpr std::size_t kMergeBlock = 2048;

enum class Merge { Replace, Add };

// Widens `count` binary16 samples into `region` (overwriting or adding),
// and appends the merged values to the Patch frame as far as it has room,
// block by block: each sample is widened once, and the frame gets it from
// cache instead of reading the source buffer back afterwards.
void mergeSlice(const std::uint8_t* halves, std::size_t count, float* region, Merge merge, PatchFrame& patch) {
  for (std::size_t i = 0; i < count; i += kMergeBlock) {
    const std::size_t n = std::min(kMergeBlock, count - i);
    if (merge == Merge::Add) {
      widenHalvesAdd(halves + 2 * i, n, region + i);
    } else {
      widenHalves(halves + 2 * i, n, region + i);
    }
    patch.append(region + i, n);
  }
}

}  // namespace

void ServerSession::storeSource(const std::uint8_t* data, std::size_t size, std::int32_t channelCount,
                                std::int32_t epoch) {
  const std::size_t count = size / 2;  // a trailing odd byte is ignored
  std::vector<float>& samples = source_.samples;
  // Sized to the new source exactly: growing by resize() would double the
  // capacity (a source a little longer than the last one would hold twice
  // its memory for the rest of the session), and a much shorter source
  // gives the memory of the longer one back.
  samples.clear();
  samples.resize(count);
  if (count < samples.capacity() / 2) samples.shrink_to_fit();
  widenHalves(data, count, samples.data());
  const std::size_t frames = count / static_cast<std::size_t>(channelCount);
  source_.channels = channelCount;
  source_.frames = static_cast<std::int32_t>(std::min<std::size_t>(frames, std::numeric_limits<std::int32_t>::max()));
  source_.epoch = epoch;
  live_.playback().holdSource(samples.data(), static_cast<std::uint64_t>(source_.frames));
}

// An announced duration that disagrees with the audio that arrived is not
// believed: the loop band, the sections and the automatic mode's repeats go
// by the buffer the engine holds.
void ServerSession::matchDurationToSource() {
  const double held = static_cast<double>(source_.frames) / link::kStreamRate;
  if (!(std::fabs(live_.readiness().sourceDuration() - held) <= kDurationTolerance))
    live_.readiness().setSourceDuration(held);
}

void ServerSession::takeInitialSource(const std::uint8_t* data, std::size_t size) {
  const std::int32_t channelCount = channels < 1 ? 2 : channels;
  storeSource(data, size, channelCount, sourceEpoch);
  matchDurationToSource();
  live_.playback().start(channelCount, sourceEpoch);
}

void ServerSession::onStreamingMessage(const std::uint8_t* data, std::size_t size, bool binary) {
  if (!binary) {
    onServerEvent(data, size);
  } else if (swap.pending) {
    takeSwappedSource(data, size);
  } else {
    takeSlice(data, size);
  }
}

void ServerSession::onServerEvent(const std::uint8_t* data, std::size_t size) {
  if (size > kMaxServerJsonBytes) {
    emit("ui:status", Atoms{Atom(oversizeStatus("pod message", size, kMaxServerJsonBytes))});
    return;
  }
  JsonValue event;
  if (!parseJson(std::string_view(reinterpret_cast<const char*>(data), size), event)) return;
  const std::string type = optString(event, "type").value_or("");
  if (type == "swap_ready") {
    swap.pending = true;
    swap.duration = optNumber(event, "duration");
    swap.channels = optNumber(event, "channels");
    const std::optional<double> epoch = optNumber(event, "source_epoch");
    swap.epoch = epoch ? std::optional<std::int64_t>(truncateToInt64(*epoch)) : std::nullopt;
  } else if (type == "command_failed") {
    emit("ui:status", Atoms{Atom("command failed: " + shownText(optString(event, "command").value_or("?")))});
  } else if (type == "audio_write_failed") {
    emit("ui:status", Atoms{Atom("write_audio failed: " + shownText(optString(event, "error").value_or("?")))});
  }
}

void ServerSession::takeSwappedSource(const std::uint8_t* data, std::size_t size) {
  PendingSwap pending = swap;
  swap = PendingSwap{};

  std::int32_t channelCount = pending.channels ? truncateToInt32(*pending.channels) : source_.channels;
  if (channelCount < 1) channelCount = source_.channels >= 1 ? source_.channels : 2;
  if (channelCount > static_cast<std::int32_t>(link::kMaxChannels)) {
    // The players could not be told this count: the new source is refused.
    emit("ui:status", Atoms{Atom("pod sent a source of " + std::to_string(channelCount) + " channels; at most " +
                                 std::to_string(link::kMaxChannels) + " are supported")});
    return;
  }

  const std::int64_t next = static_cast<std::int64_t>(sourceEpoch) + 1;
  std::int64_t epoch = pending.epoch.value_or(next);
  if (epoch < 0) epoch = next;
  sourceEpoch = truncateToInt32(static_cast<double>(epoch));  // saturates

  // A non-finite duration would reach the loop band and the players' band.
  if (pending.duration && std::isfinite(*pending.duration)) live_.readiness().setSourceDuration(*pending.duration);

  storeSource(data, size, channelCount, sourceEpoch);
  live_.playback().swapGeneration(channelCount, sourceEpoch);
}

void ServerSession::takeSlice(const std::uint8_t* data, std::size_t size) {
  bytesReceived += size;
  if (size < kSliceHeaderBytes) return;
  const std::uint8_t kind = data[0];
  const std::uint32_t startFrame = link::getU32(data + 1);
  // A slice of another generation, or one starting past the end, changes
  // nothing: it is dropped before its payload is decoded.
  if (sourceEpoch != source_.epoch) return;
  const std::uint64_t base = std::uint64_t{startFrame} * static_cast<std::uint64_t>(std::max(source_.channels, 0));
  const std::uint64_t bufferSamples = source_.samples.size();
  if (base >= bufferSamples) return;

  const std::uint8_t* payload = data + kSliceHeaderBytes;
  std::size_t payloadSize = size - kSliceHeaderBytes;
  if (kind == kKindDifference) {
    if (!decompressor_) return;  // no decoder: the slice has no samples
    ByteView decoded;
    try {
      decoded = decompressor_(payload, payloadSize);
    } catch (const std::exception&) {
      // A corrupt frame abandons this slice only; the buffer, playback and
      // the session stay as they were. Said once while the fault lasts.
      if (!sliceFaultShown) {
        sliceFaultShown = true;
        emitStatus("corrupt audio slice from pod dropped");
      }
      return;
    }
    payload = decoded.data;
    payloadSize = decoded.size;
  }
  sliceFaultShown = false;

  const std::uint64_t count = std::min<std::uint64_t>(bufferSamples - base, payloadSize / 2);
  if (count == 0) return;
  PatchFrame patch = live_.playback().openSlicePatch(sourceEpoch, startFrame, count);
  mergeSlice(payload, static_cast<std::size_t>(count), source_.samples.data() + base,
             kind == kKindDifference ? Merge::Add : Merge::Replace, patch);
  patch.send();
  if (!streamingAnnounced) {
    streamingAnnounced = true;
    emitStatus("live - inference streaming");
  }
}

}  // namespace omber::server
