#!/usr/bin/env bash
# Installs what is missing, builds once with AddressSanitizer and
# UndefinedBehaviorSanitizer, runs every test (the x11 ones against a private
# Xvfb with openbox), then each fuzz target briefly. Leaves nothing running.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

bash "$ROOT/scripts/deps.sh"
zk_configure_and_build build-test -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZK_SANITIZE=ON -DZK_BUILD_BENCH=OFF

export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0"
export LSAN_OPTIONS="suppressions=$ROOT/tests/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"

pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  for p in "${pids[@]}"; do wait "$p" 2>/dev/null || true; done
}
trap cleanup EXIT

status=0
cd "$ROOT/build-test"

echo "== unit tests"
ctest -LE x11 -j "$JOBS" --output-on-failure || status=1

if ctest -N -L x11 | grep -q "Total Tests: [1-9]"; then
  echo "== x11 tests"
  # -displayfd picks a free display and tells us which.
  fifo="$(mktemp -u)"; mkfifo "$fifo"
  Xvfb -displayfd 3 -screen 0 1920x1080x24 -nolisten tcp +extension XTEST 3>"$fifo" &
  pids+=($!)
  if ! read -r -t 30 dispnum <"$fifo"; then echo "Xvfb did not start"; exit 1; fi
  rm -f "$fifo"
  export DISPLAY=":$dispnum"
  # The window manager runs without the session's variables that would make
  # it join another desktop.
  # The stock configuration binds Print to a screenshot program; the
  # recorder's Print hook needs the key free, as on most desktops.
  obrc="$(mktemp)"
  if [ -f /etc/xdg/openbox/rc.xml ]; then
    sed '/<keybind key="Print">/,/<\/keybind>/d' /etc/xdg/openbox/rc.xml >"$obrc"
    obargs=(--config-file "$obrc")
  else
    obargs=()
  fi
  env -u DBUS_SESSION_BUS_ADDRESS openbox --sm-disable "${obargs[@]}" >/dev/null 2>&1 &
  pids+=($!)
  # openbox announces itself (_NET_SUPPORTING_WM_CHECK) before it manages
  # windows, and a window mapped in that moment is never exposed; the client
  # list appears once start-up is done.
  for _ in $(seq 100); do
    xprop -root _NET_CLIENT_LIST_STACKING 2>/dev/null | grep -q "window id" && break
    sleep 0.1
  done
  sleep 0.5
  ZK_TEST_X11=1 ctest -L x11 --output-on-failure || status=1
fi

fuzzers=("$ROOT"/fuzz/*.cpp)
if [ -e "${fuzzers[0]}" ]; then
  echo "== fuzz targets"
  # Only the fuzz targets and the layers they link are built with clang.
  CC=clang CXX=clang++ cmake -S "$ROOT" -B "$ROOT/build-fuzz" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DZK_BUILD_FUZZ=ON -DZK_BUILD_TESTS=OFF -DZK_BUILD_BENCH=OFF >/dev/null
  targets=()
  for src in "${fuzzers[@]}"; do targets+=("fuzz_$(basename "$src" .cpp)"); done
  cmake --build "$ROOT/build-fuzz" -j "$JOBS" --target "${targets[@]}"
  for src in "${fuzzers[@]}"; do
    name="fuzz_$(basename "$src" .cpp)"
    corpus="$ROOT/fuzz/corpus/$(basename "$src" .cpp)"
    work="$(mktemp -d)"
    [ -d "$corpus" ] && cp -r "$corpus"/. "$work"/
    echo "-- $name"
    # A fixed seed: every machine tries the same inputs in the same order (a
    # slow machine stops earlier in that order), so a run is repeatable;
    # longer fuzzing is done by hand with the same targets.
    if QT_QPA_PLATFORM=offscreen "$ROOT/build-fuzz/fuzz/$name" -seed=1 -runs=30000 -max_total_time=8 \
        -rss_limit_mb=2048 -artifact_prefix="$work/" -print_final_stats=0 "$work" >"$work.log" 2>&1; then
      tail -3 "$work.log"
    else
      # The reason and the stack, not only the input that found them.
      grep -v -E '^#[0-9]+[[:space:]]+(NEW|REDUCE|pulse|INITED)' "$work.log" | tail -60
      status=1
    fi
    rm -f "$work.log"
    rm -rf "$work"
  done
fi

exit $status
