# Sourced by the fuzz scripts: the targets in campaign order (the fast
# decoders first), their seed folders and their dictionaries. Seeds come from
# the vendored conformance corpora and from fuzz/seeds/<target>/ (inputs in
# each target's own format, written by fuzz/make-seeds).
# shellcheck shell=bash
conf="$root/tests/conformance"
seedsdir="$root/fuzz/seeds"
fuzz_targets=(json base64_clip base64_snapshot inflate_raw zstd wav frame_reader
              external_frames live_endpoints server_ws_data documents_recall live_capture engine_inlet)
declare -A fuzz_seeds=(
  [json]="$conf/jsontestsuite/test_parsing $conf/jsontestsuite/test_transform $conf/json-generated"
  [base64_clip]="$seedsdir/base64"
  [base64_snapshot]="$seedsdir/base64"
  [inflate_raw]="$conf/compression-generated $conf/deflate-wuffs $conf/deflate-wuffs/artificial"
  [zstd]="$conf/zstd-golden/decompression $conf/zstd-golden/decompression-errors $conf/compression-generated $conf/deflate-wuffs $seedsdir/zstd"
  [wav]="$conf/wav-generated $conf/wav-hound $conf/wav-hound/fuzz $conf/wav-go-audio $conf/wav-scipy"
  [frame_reader]="$seedsdir/frames"
  [external_frames]="$seedsdir/external_frames"
  [live_endpoints]="$seedsdir/live_endpoints"
  [server_ws_data]="$seedsdir/server_ws_data"
  [documents_recall]="$seedsdir/documents_recall $conf/jsontestsuite/test_parsing"
  [live_capture]="$seedsdir/live_capture"
  [engine_inlet]="$seedsdir/engine_inlet"
)
declare -A fuzz_dicts=(
  [json]="$root/fuzz/dict/json.dict"
  [documents_recall]="$root/fuzz/dict/json.dict"
  [wav]="$root/fuzz/dict/wav.dict"
  [server_ws_data]="$root/fuzz/dict/server.dict"
  [engine_inlet]="$root/fuzz/dict/server.dict"
)

# Longest input per target. Short inputs keep the executions fast; the seeds
# are read truncated to it, which still reaches every limit (nesting depth,
# output caps through compressed inputs, chunk sizes).
declare -A fuzz_max_len=(
  [json]=4096 [documents_recall]=4096 [base64_clip]=4096 [base64_snapshot]=4096
  [inflate_raw]=4096 [zstd]=4096 [wav]=16384 [frame_reader]=8192 [external_frames]=8192
  [live_endpoints]=4096 [server_ws_data]=8192 [live_capture]=4096 [engine_inlet]=4096
)

# Seeds left out of a target's campaign (a grep -E pattern over paths): the
# decompression bombs that fill the output caps (8 MiB inflated, 256 MiB from
# zstd) cost up to seconds per execution under ASan, and the fuzzer would keep
# mutating them. The unit tests check the caps; left in, they would cut the
# campaign's executions a hundredfold.
declare -A fuzz_seed_skip=(
  [inflate_raw]="cap|seq-1-20000"
  [zstd]="cap|windowlog-30"
)

# Prints the seed folders of target $1 that exist.
fuzz_seed_dirs() {
  local d
  for d in ${fuzz_seeds[$1]:-}; do
    [ -d "$d" ] && echo "$d"
  done
  return 0
}

# Prints the -dict option of target $1, if it has a dictionary.
fuzz_dict_option() {
  local d=${fuzz_dicts[$1]:-}
  if [ -n "$d" ] && [ -f "$d" ]; then echo "-dict=$d"; fi
  return 0
}

# Prints the seed arguments of target $1: its seed folders, or, when some of
# their files are left out, a -seed_inputs list written to file $2.
fuzz_seed_args() {
  local skip=${fuzz_seed_skip[$1]:-}
  if [ -z "$skip" ]; then
    fuzz_seed_dirs "$1"
    return 0
  fi
  # shellcheck disable=SC2046
  find $(fuzz_seed_dirs "$1") -maxdepth 1 -type f | grep -Ev "$skip" | paste -sd, >"$2"
  echo "-seed_inputs=@$2"
}

# Prints the options every run of target $1 takes: its dictionary and its
# longest input.
fuzz_options() {
  fuzz_dict_option "$1"
  echo "-max_len=${fuzz_max_len[$1]:-4096}"
}

# The sources each target is about (a grep -E pattern over paths), for the
# focused figure of fuzz/coverage.
declare -A fuzz_focus=(
  [json]="core/base/json"
  [base64_clip]="core/base/base64"
  [base64_snapshot]="core/base/base64"
  [inflate_raw]="core/base/compression"
  [zstd]="core/base/compression"
  [wav]="core/audiofile/wav"
  [frame_reader]="link/frame"
  [external_frames]="external/core/"
  [live_endpoints]="core/live/(endpoint|bar_grid|playback)"
  [server_ws_data]="core/server/"
  [documents_recall]="core/documents/"
  [live_capture]="core/live/(capture|print|stream)"
  [engine_inlet]="core/"
)

# The corpora a campaign grew are kept between machines as one archive,
# fuzz/corpus.tar.gz (written by fuzz/keep after a campaign). A checkout
# without fuzz/corpus-work/ starts from it, so a campaign goes on where the
# last one stopped and fuzz/coverage replays what it found.
if [ ! -d "$root/fuzz/corpus-work" ] && [ -f "$root/fuzz/corpus.tar.gz" ]; then
  tar xzf "$root/fuzz/corpus.tar.gz" -C "$root/fuzz"
fi
