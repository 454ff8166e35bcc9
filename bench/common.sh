# Shared by bench/run and bench/outputs: where things are, the build, and the
# generated data (kept between runs while the generator's source is unchanged).

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build_dir=${VOKT_BUILD_DIR:-$root/build/release}
scratch=${VOKT_BENCH_DIR:-$root/build/bench}
gen=$build_dir/bench/vokt_bench_gen
vokt=$build_dir/vokt
stub=$scratch/stub

build_tool() {
  (cd "$root" && cmake --preset release >/dev/null && cmake --build --preset release -j2 --target vokt vokt_bench_gen >/dev/null)
}

# The problem files and a browser that does nothing.
make_problems() {
  mkdir -p "$scratch" "$stub"
  "$gen" problem "$scratch/problem.kif"
  "$gen" symmetric-problem "$scratch/symmetric.kif"
  printf '#!/bin/sh\nexit 0\n' > "$stub/xdg-open"
  chmod +x "$stub/xdg-open"
}

generator_stamp() {
  cat "$root/bench/gen.cpp" "$root/bench/bench_text.h" | sha256sum | cut -c1-64
}

# generate_data N: $scratch/nN/vokt.dat (with its two digests in
# $scratch/nN/digests) and the export set $scratch/nN/export/.
generate_data() {
  local n=$1
  local dir=$scratch/n$n
  local stamp
  stamp=$(generator_stamp)
  if [[ -f $dir/stamp && $(cat "$dir/stamp") == "$stamp" ]]; then return 0; fi
  echo "generating $n records in $dir" >&2
  rm -rf "$dir"
  mkdir -p "$dir/export"
  "$gen" digest-file "$n" "$scratch/problem.kif" "$dir/vokt.dat" > "$dir/digests"
  "$gen" export "$n" "$dir/export"
  echo "$stamp" > "$dir/stamp"
}
