#!/usr/bin/env bash
# Tests run side by side (ctest -j), so no two may use the same loopback
# address or UDP port. Every test takes the addresses and ports of a net of
# its own from SimNet (tests/common/SimProcess.h); run by `make test` (ctest
# "check_test_nets"). This refuses, in every test source under tests/:
#  1. a net (SimNet kNet{N}, or NET=N in a script) claimed by two files, or
#     used by a benchmark;
#  2. a loopback address written out (127.a.b.c, LocalHost, "localhost")
#     instead of one of the file's net;
#  3. a fixed UDP or TCP port above 1023, other than the protocol's own
#     2976, 2977 and 2979 (a test binds those on its net's addresses only).
# A line whose address or number is text only (a parser's input, never
# bound nor sent to) says so with the comment "text only"; a file that opens
# no socket and starts no program holds texts only.
set -uo pipefail
cd "$(dirname "$0")/.."

status=0
# The drawing programs (*_grab.cpp) are no tests: tools/screenshot.sh runs
# them one at a time.
mapfile -t files < <(find tests -type f \( -name '*.cpp' -o -name '*.h' -o -name '*.sh' \) \
  ! -path 'tests/common/*' ! -path 'tests/check-nets.sh' ! -name '*_grab.cpp' | sort)

# 1. One net, one file.
declare -A owner=()
for f in "${files[@]}"; do
  while IFS= read -r n; do
    if [[ -n "${owner[$n]:-}" && "${owner[$n]}" != "$f" ]]; then
      echo "check-nets: net $n is claimed by ${owner[$n]} and by $f" >&2
      status=1
    fi
    owner[$n]=$f
  done < <(grep -oE 'SimNet [A-Za-z_]*[{(] *[0-9]+|^NET=[0-9]+' "$f" | grep -oE '[0-9]+$' | sort -u)
done
# The benchmarks (bench/) write their addresses out; a test keeps off
# their nets, so that a benchmark and the suite can run at one time.
while IFS= read -r n; do
  if [[ -n "${owner[$n]:-}" ]]; then
    echo "check-nets: net $n of ${owner[$n]} is used by a benchmark in bench/" >&2
    status=1
  fi
done < <(grep -rhoE '127\.0\.[0-9]+\.' bench 2>/dev/null | cut -d. -f3 | sort -u)
for n in "${!owner[@]}"; do
  if ((n < 2 || n > 255)); then
    echo "check-nets: ${owner[$n]} claims net $n (2 to 255)" >&2
    status=1
  fi
done

octet='(25[0-5]|2[0-4][0-9]|1[0-9][0-9]|[1-9]?[0-9])'
address="(^|[^0-9.])127\\.$octet\\.$octet\\.$octet([^0-9.]|\$)|LocalHost|\"localhost\""
n='"?([1-9][0-9]{3,4})\b'
fixedport="[Pp]ort[A-Za-z_]*\\)?[[:space:]]*(=|\\(|\\{|,)[[:space:]]*(QString::number\\()?$n|"
fixedport+="--[a-z-]*port\"?\\)?[[:space:]]*(,[[:space:]]*(QStringLiteral\\()?|=)$n|"
fixedport+="(bind|listen|setPorts|start)\\(([^,()]*(\\([^()]*\\))?[^,()]*,[[:space:]]*)?$n|"
fixedport+="quint16(\\(|[[:space:]]+[A-Za-z_]+[[:space:]]*=[[:space:]]*)$n|^[0-9]+:[a-z_]*port=$n|"
fixedport+="\\?[[:space:]]*[0-9]+[[:space:]]*:[[:space:]]*$n"
# The protocol's own ports, bound on a net's addresses only.
designport='[^0-9](2976|2977|2979)([^0-9]|$)'
report() {
  local what=$1 f=$2 lines=$3
  [[ -z "$lines" ]] && return
  echo "check-nets: $f: $what (take it from the test's SimNet):" >&2
  sed 's/^/  /' <<<"$lines" >&2
  status=1
}
# The code of a file, numbered, without its comments (a comment may name an
# address) and without the lines marked "text only".
code() {
  grep -n '' "$1" | grep -v 'text only' |
    sed -E 's#^([0-9]+:)[[:space:]]*(//|\*|/\*|\#).*#\1#; s#[[:space:]]//[[:space:]].*##'
}
networked='QUdpSocket|QTcpSocket|QTcpServer|QNetworkAccessManager|QProcess|SimProcess|runCli|runProgram|\.bind\(|frmMain|Transport|Pinger|Endpoint|Poller|Receiver|netns'
for f in "${files[@]}"; do
  [[ "$f" == *.sh ]] || grep -qE "$networked" "$f" || continue
  # 2. Addresses written out.
  report "a loopback address written out" "$f" "$(code "$f" | grep -E "$address")"
  # 3. Fixed ports: a number of 1024 to 65535 given as a port.
  report "a fixed port" "$f" "$(code "$f" | grep -E "$fixedport" |
    grep -vE "$designport")"
done
exit $status
