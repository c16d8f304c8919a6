# Sourced by the benchmarks that run the Windows programs: wine64 in the benchmarks' own Wine prefix
# (build/wineprefix-bench, made once), with one persistent server; on exit the server ends and the
# folder $scratch goes. Sets wine64. Needs root (the repository) and scratch.
export WINEDEBUG=-all WINEARCH=win64 WINEPREFIX="$root/build/wineprefix-bench" WINEDLLOVERRIDES="mscoree,mshtml="
server=
cleanup() {
  if [ -n "$server" ]; then
    wineserver -k 2>/dev/null || true # the prefix's own programs: its service processes
    kill "$server" 2>/dev/null || true
  fi
  rm -rf "$scratch"
}
trap cleanup EXIT
trap 'exit 1' INT TERM
# Called directly: /usr/bin/wine picks wine32 whenever it is installed, even where it cannot run.
wine64=/usr/lib/wine/wine64
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "Creating the Wine prefix $WINEPREFIX (once)..."
  "$wine64" wineboot -i < /dev/null > /dev/null 2>&1
  wineserver -w
fi
# One persistent server for every run, with its streams away from ours; a first program, its streams
# away too, starts Wine's service processes, which would otherwise keep the benchmark's pipe open.
setsid wineserver -f -p < /dev/null > /dev/null 2>&1 &
server=$!
"$wine64" cmd /c exit < /dev/null > /dev/null 2>&1

