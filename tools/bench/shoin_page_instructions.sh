#!/usr/bin/env bash
# Instructions the converter spends building pages (BuildPages with all it
# calls) and in the whole run, counted by callgrind over 40 real logs with
# Yagura's options and with the defaults. Counts do not move with the load of
# a shared machine as timings do, so two builds compare step by step:
#   tools/bench/shoin_page_instructions.sh [shoin binary] [reference shoin binary]
# (the cost of reading and writing files is measured by shoin_convert.sh).
set -euo pipefail
cd "$(dirname "$0")/../.."
shoin=$(realpath "${1:-build/program/shoin/shoin}")
reference=${2:+$(realpath "$2")}
data=../shared/realdata
[[ -x $shoin ]] || { echo "build $shoin first" >&2; exit 1; }
[[ -d $data ]] || { echo "real data folder $data is absent" >&2; exit 1; }
command -v valgrind >/dev/null || { echo "valgrind is not installed" >&2; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/shoin_instructions.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/in"
# The logs of the throughput benchmark, in turn.
sources=("$data/twoB-2ch/2ch_with_id.dat" "$data/twoB-2ch/2ch_with_id_and_be.dat"
         "$data/js2ch-news4vip/1379534723.dat" "$data/twoB-jbbs/aa-euc.dat" "$data/twoB-jbbs/jbbs.dat")
for ((n = 0; n < 40; n++)); do
  cp "${sources[$((n % ${#sources[@]}))]}" "$work/in/$((1200000000 + n)).dat"
done

# Prints "<whole run> <building pages>" in instructions.
count() {
  local binary=$1
  shift
  rm -rf "$work/out" "$work/cg.out"
  valgrind --tool=callgrind --callgrind-out-file="$work/cg.out" "$binary" "$work/in" "$work/out" \
    "$@" >/dev/null 2>&1
  callgrind_annotate --inclusive=yes "$work/cg.out" 2>/dev/null | awk '
    /PROGRAM TOTALS/ { gsub(",", "", $1); total = $1 }
    /converter::page::BuildPages\(/ && !/=>/ && !pages { gsub(",", "", $1); pages = $1 }
    END { print total, pages }'
}

echo "40 logs, $(du -sk "$work/in" | cut -f1) KB; instructions counted by callgrind"
for options in "/js=80F /m=E2058000 /o=E01B1E" ""; do
  # shellcheck disable=SC2086
  read -r total pages < <(count "$shoin" $options)
  printf '%-32s whole run %12d  building pages %12d\n' "${options:-(defaults)}" "$total" "$pages"
  if [[ -n $reference ]]; then
    # shellcheck disable=SC2086
    read -r rtotal rpages < <(count "$reference" $options)
    printf '%-32s whole run %12d  building pages %12d  (reference)\n' "" "$rtotal" "$rpages"
    awk -v a="$pages" -v b="$rpages" -v c="$total" -v d="$rtotal" 'BEGIN {
      printf "%-32s whole run %+11.1f %%  building pages %+11.1f %%\n", "", 100 * (c - d) / d, 100 * (a - b) / b }'
  fi
done
