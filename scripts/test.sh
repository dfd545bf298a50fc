#!/usr/bin/env bash
# Installs what is missing, checks that every tracked C++ file is formatted,
# builds everything with AddressSanitizer and UndefinedBehaviorSanitizer, runs
# every test, then checks an installation and the Debian package.
#   scripts/test.sh [--no-deps]
#     --no-deps   skip scripts/deps.sh (a machine prepared beforehand)
# A failing test does not stop the install check, nor the other way round:
# every outcome is printed at the end, closed by ctest's summary line. The
# exit status is non-zero when any step failed.
set -uo pipefail
cd "$(dirname "$0")/.."

deps=1
for arg in "$@"; do
  case "$arg" in
    --no-deps) deps=0 ;;
    -h | --help)
      sed -n '2,9s/^# \{0,1\}//p' "$0"
      exit 0
      ;;
    *)
      echo "scripts/test.sh: unknown argument '$arg' (try --help)" >&2
      exit 2
      ;;
  esac
done

if [ $deps = 1 ]; then
  scripts/deps.sh || { echo "scripts/test.sh: scripts/deps.sh failed" >&2; exit 1; }
fi

build=build-asan
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
format_result="" build_result="" ctest_result="" install_result="" summary=""

# Closes the output with every outcome and ctest's own summary line last, so
# that whoever reads only the tail (CI) sees both results.
finish() {
  echo
  echo "==== scripts/test.sh"
  printf '%-28s %s\n' "format (clang-format-14):" "$format_result" "build ($build):" "$build_result" \
    "install and package check:" "${install_result:-not run}" "tests (ctest):" "${ctest_result:-not run}"
  [ -n "$summary" ] && echo "$summary"
  case "$format_result$build_result$ctest_result$install_result" in
    *FAILED*) exit 1 ;;
  esac
  exit 0
}

# --- formatting ---------------------------------------------------------------
if ! command -v clang-format-14 >/dev/null 2>&1; then
  format_result="FAILED (clang-format-14 not found; scripts/deps.sh installs it)"
else
  if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    git ls-files -z -- '*.cpp' '*.h' >"$work/cxx-files"
  else
    find . -path './build*' -prune -o -path ./fuzz-out -prune -o \( -name '*.cpp' -o -name '*.h' \) -print0 >"$work/cxx-files"
  fi
  if xargs -0 -r clang-format-14 --dry-run -Werror <"$work/cxx-files" 2>"$work/format.txt"; then
    format_result="ok ($(tr -cd '\0' <"$work/cxx-files" | wc -c) files)"
  else
    head -n 40 "$work/format.txt"
    unformatted="$(grep -oE '^[^:]+\.(cpp|h):[0-9]+:[0-9]+: error' "$work/format.txt" | cut -d: -f1 | sort -u)"
    format_result="FAILED (not formatted, run clang-format-14 -i on: $(echo $unformatted))"
  fi
fi
echo "scripts/test.sh: format: $format_result"

# --- build ----------------------------------------------------------------------
if cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Debug -DTUNEDESK_SANITIZE=address,undefined \
     -DTUNEDESK_BUILD_BENCH=OFF >"$work/configure.txt" 2>&1 &&
   cmake --build "$build" -j"$(nproc)"; then
  build_result="ok"
else
  [ -s "$work/configure.txt" ] && tail -n 40 "$work/configure.txt"
  build_result="FAILED"
  finish
fi

export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

# --- tests ----------------------------------------------------------------------
ctest --test-dir "$build" --output-on-failure -j"$(nproc)" --timeout 600 2>&1 | tee "$work/ctest.txt"
rc=${PIPESTATUS[0]}
summary="$(grep -E '^[0-9]+% tests passed' "$work/ctest.txt" | tail -n 1)"
if [ "$rc" -eq 0 ]; then
  ctest_result="ok"
else
  ctest_result="FAILED (ctest exit $rc; failed tests listed above)"
  [ -n "$summary" ] || summary="ctest ended without a summary line (exit $rc)"
fi

# --- the installed programs, the user's folders and the Debian package ----------
if scripts/install-check.sh "$build"; then
  install_result="ok"
else
  install_result="FAILED (scripts/install-check.sh exit $?, see its 'install-check: FAILED' line above)"
fi

finish
