# What every benchmark begins with (sourced, not run: run_all.sh runs only
# bench_*.sh). bench_setup BUILD_DIR NAME DEFAULT_REPS sets build, reps
# (REPS), size_mb (SIZE_MB, default 512), section (1,457,664 bytes), the
# Wine environment of that build and a scratch folder $work removed on exit.
bench_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
bench_setup() {
  build=$(cd "$1" && pwd)
  reps=${REPS:-$3}
  size_mb=${SIZE_MB:-512}
  section=1457664
  export VELMORA_BUILD=$build
  source "$bench_dir/../cmake/wine-env.sh"
  wine_env_prepare >/dev/null 2>&1
  export WINEPATH="Z:${build//\//\\}\\bin"
  wine_scratch "$2"
}
# Half random, half text-like, so that compression has something to do.
mixed_file() {
  head -c $((size_mb / 2 * 1048576)) /dev/urandom > "$1"
  yes 'a line of a log file that compresses rather well, 0123456789' |
    head -c $((size_mb / 2 * 1048576)) >> "$1" || true
}
