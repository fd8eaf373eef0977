#!/usr/bin/env bash
# The speed and memory benchmark: bash bench/run.sh
#
# Builds sfxtool (native preset, Release, -O2 -DNDEBUG) and the programs in
# bench/, writes a deterministic corpus of about 200 MB in 300 files, and
# measures in one run, ROUNDS times each (medians of the wall times):
#
#   pack     sfxtool pack          against  zip -6 -r -q  and the single-thread
#            work bound (bench/deflate_loop: the writer's zlib settings and
#            nothing else); pack compresses on every core
#   pack-1   sfxtool pack --jobs 1: the same package bytes on one thread
#   extract  sfxtool extract       against  unzip -q -o   and a bare inflate
#            loop (bench/inflate_loop)
#
# and the peak RSS of every command. Pack and extract also run on a corpus
# of half the size, to show that their memory does not grow with it. It also
# builds the extractor (windows preset) and reports its size: every byte of
# it is in every package. Prints PASS or FAIL per target and exits non-zero
# on a FAIL:
#
#   pack <= 0.6 x zip -6 and <= 0.55 x work bound (on 2 cores)
#   pack-1's package the same bytes as pack's; streams within 0.5 % of
#   the work bound's          extract <= 0.8 x unzip
#   peak RSS of pack < 32 MiB and of extract < 16 MiB, within 1 MiB on the
#   half corpus               Extractor.exe <= 256 KiB
#
# BENCH_BUILD_DIR chooses the build folder (default build/bench; corpus and
# outputs go there too), BENCH_ROUNDS the rounds (default 5).
set -euo pipefail
cd "$(dirname "$0")/.."
source_dir=$PWD

build=${BENCH_BUILD_DIR:-build/bench}
case $build in /*) ;; *) build=$source_dir/$build ;; esac
rounds=${BENCH_ROUNDS:-5}

# --- Tools and builds ---

bash scripts/install-deps.sh zip unzip

release=(-DCMAKE_BUILD_TYPE=Release "-DCMAKE_CXX_FLAGS_RELEASE=-O2 -DNDEBUG")
cmake --preset native -B "$build" "${release[@]}" >/dev/null
cmake --build "$build" --target sfxtool >/dev/null
cmake -S bench -B "$build/bench-tools" -G Ninja "${release[@]}" >/dev/null
cmake --build "$build/bench-tools" >/dev/null
sfxtool=$build/tools/sfxtool/sfxtool
tools=$build/bench-tools
cmake --preset windows -B "$build/windows" >/dev/null
cmake --build "$build/windows" --target extractor >/dev/null
extractor_bytes=$(stat -c %s "$build/windows/bin/Extractor.exe")

# --- Corpus, descriptions, stub ---

work=$build/work
results=$build/results
log=$build/bench.log
rm -rf "$build/corpus" "$build/corpus-half" "$work" "$results"
mkdir -p "$work" "$results"
: >"$log"
"$tools/make_corpus" "$build/corpus" 1
"$tools/make_corpus" "$build/corpus-half" 0.5
# The stub is the extractor itself, so that pack stamps the description's
# version into it as it does for a real package.
stub=$build/windows/bin/Extractor.exe
for corpus in corpus corpus-half; do
  printf 'folderpath=%s\r\nfolderpathroot=%s\r\ntarget=%s\r\nversion=1\r\ndescription=Benchmark\r\n\r\n' \
    "$build/$corpus" "$build/$corpus" "$work/$corpus.pkg" >"$build/$corpus.txt"
done

# run NAME COMMAND...: one measured run; appends "wall user sys rss_kib exit"
# to $results/NAME. Dirty pages of the run before are written out first.
run() {
  local name=$1
  shift
  sync
  "$tools/measure" "$results/$name" "$@" >>"$log" 2>&1
  local code
  code=$(tail -n 1 "$results/$name" | awk '{print $5}')
  if [ "$code" != 0 ]; then
    echo "FAIL: '$*' exited with $code; see $log" >&2
    exit 1
  fi
}

fresh_outputs() {
  rm -rf "$work/x-sfx" "$work/x-unzip" "$work/x-inflate" "$work"/*-half-x
  mkdir -p "$work/x-inflate"
}

echo "corpus: $(find "$build/corpus" -type f | wc -l) files, $(du -sb "$build/corpus" | cut -f1) bytes; $rounds rounds"
# One unmeasured pass puts the corpus and the programs into the page cache.
"$tools/deflate_loop" "$work/bound.z" "$build/corpus" >/dev/null

for ((r = 1; r <= rounds; r++)); do
  echo "round $r of $rounds"
  rm -f "$work/bound.z" "$work/corpus.pkg" "$work/out.zip"
  run bound "$tools/deflate_loop" "$work/bound.z" "$build/corpus"
  run pack "$sfxtool" pack --stub "$stub" "$build/corpus.txt"
  mv "$work/corpus.pkg" "$work/corpus-1.pkg.ref"
  run pack-1 "$sfxtool" pack --jobs 1 --stub "$stub" "$build/corpus.txt"
  cmp -s "$work/corpus.pkg" "$work/corpus-1.pkg.ref" || {
    echo "FAIL: pack --jobs 1 wrote other bytes than pack" >&2
    exit 1
  }
  rm -f "$work/corpus-1.pkg.ref"
  (cd "$build" && run zip zip -6 -r -q "$work/out.zip" corpus)
  fresh_outputs
  run extract "$sfxtool" extract "$work/corpus.pkg" "$work/x-sfx"
  run unzip unzip -q -o "$work/out.zip" -d "$work/x-unzip"
  run inflate "$tools/inflate_loop" "$work/bound.z" "$work/x-inflate"
done

# The extractions must have restored the corpus, or their times mean nothing.
for restored in "$work/x-sfx" "$work/x-unzip/corpus"; do
  if ! diff -r -q "$build/corpus" "$restored" >/dev/null; then
    echo "FAIL: $restored differs from the corpus" >&2
    exit 1
  fi
done

# The half corpus, for memory.
for ((r = 1; r <= 3; r++)); do
  rm -f "$work/corpus-half.pkg"
  fresh_outputs
  run pack-half "$sfxtool" pack --stub "$stub" "$build/corpus-half.txt"
  run extract-half "$sfxtool" extract "$work/corpus-half.pkg" "$work/corpus-half-x"
done

# --- Figures ---

# The median of the numbers on standard input, one a line.
median_of() {
  sort -g | awk '{v[NR] = $1} END {
    if (NR % 2) print v[(NR + 1) / 2]; else printf "%.4f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}
wall() { awk '{print $1}' "$results/$1" | median_of; }       # median wall time of NAME
cpu() { awk '{print $2 + $3}' "$results/$1" | median_of; }   # median user + system time
peak() { awk '{print $4}' "$results/$1" | sort -g | tail -n 1; }  # largest RSS, KiB
ratio() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%.3f", a / b}'; }

echo
printf '%-22s %12s %12s %14s\n' "command" "wall median" "cpu median" "peak RSS"
for name in bound pack pack-1 zip extract unzip inflate pack-half extract-half; do
  printf '%-22s %10.3f s %10.3f s %10.1f MiB\n' "$name" "$(wall "$name")" "$(cpu "$name")" \
    "$(awk -v k="$(peak "$name")" 'BEGIN {print k / 1024}')"
done
echo "(bound: bench/deflate_loop; inflate: bench/inflate_loop; *-half: the half corpus, 3 rounds)"
streams=$(grep -o 'packed to [0-9]*' "$log" | head -n 1 | awk '{print $3}')
echo "packed: sfxtool streams $streams bytes (package $(stat -c %s "$work/corpus.pkg"))," \
  "work bound $(stat -c %s "$work/bound.z"), zip $(stat -c %s "$work/out.zip")"

pack_bound=$(ratio "$(wall pack)" "$(wall bound)")
pack_zip=$(ratio "$(wall pack)" "$(wall zip)")
pack1_bound=$(ratio "$(wall pack-1)" "$(wall bound)")
stream_bound=$(ratio "$streams" "$(stat -c %s "$work/bound.z")")
zip_bound=$(ratio "$(wall zip)" "$(wall bound)")
extract_unzip=$(ratio "$(wall extract)" "$(wall unzip)")
unzip_inflate=$(ratio "$(wall unzip)" "$(wall inflate)")
echo
echo "pack / work bound:     $pack_bound   (pack on $(nproc) cores)"
echo "pack / zip -6:         $pack_zip"
echo "pack-1 / work bound:   $pack1_bound   (one thread)"
echo "streams / work bound:  $stream_bound   (bytes)"
echo "zip / work bound:      $zip_bound"
echo "extract / unzip:       $extract_unzip"
echo "unzip / bare inflate:  $unzip_inflate"
echo "extract / bare inflate: $(ratio "$(wall extract)" "$(wall inflate)")"
echo "extractor stub:        $extractor_bytes bytes ($(ratio "$extractor_bytes" 1024) KiB)"

echo
failed=0
check() {  # check DESCRIPTION CONDITION-FOR-AWK
  if awk "BEGIN {exit !($2)}"; then echo "PASS  $1"; else echo "FAIL  $1"; failed=1; fi
}
check "pack <= 0.6 x zip -6 ($pack_zip)" "$pack_zip <= 0.6"
check "pack <= 0.55 x work bound ($pack_bound)" "$pack_bound <= 0.55"
check "streams within 0.5 % of the work bound ($stream_bound)" "$stream_bound <= 1.005"
check "extract <= 0.8 x unzip ($extract_unzip)" "$extract_unzip <= 0.8"
for name in pack extract; do
  full=$(peak "$name")
  half=$(peak "$name-half")
  limit=$((16 * 1024))
  [ "$name" = pack ] && limit=$((32 * 1024))
  check "$name peak RSS < $((limit / 1024)) MiB (${full} KiB)" "$full < $limit"
  check "$name peak RSS independent of corpus size (${full} KiB full, ${half} KiB half)" \
    "$full - $half <= 1024 && $half - $full <= 1024"
done
check "Extractor.exe <= 256 KiB ($extractor_bytes bytes)" "$extractor_bytes <= 256 * 1024"
exit $failed
