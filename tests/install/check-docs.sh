#!/usr/bin/env bash
# The documentation leads somewhere:
#
#   check-docs.sh SOURCE_DIR
#
# In README.md and docs/*.md, every relative link and picture names a file
# that exists (relative to the page), every link to a heading (page.md#name
# or #name) names a heading of that page, and every `make TARGET` written in
# code (a code span or a code block) names a target of the Makefile.
# Links with a scheme (https:, mailto:) are not followed.
set -euo pipefail

root=$(cd "${1:?source folder}" && pwd)
cd "$root"

pages=(README.md docs/*.md)
[[ -f Makefile ]] || {
  echo "FAIL: no Makefile in $root" >&2
  exit 1
}

failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

# The text of a page outside its code blocks, one line per line.
prose() {
  awk '/^[ \t]*(```|~~~)/ { code = !code; next } !code { print }' "$1"
}

# The anchors of a page's headings, as the usual renderers make them: lower
# case, punctuation dropped, blanks as hyphens, "-1", "-2" for repeats.
anchors() {
  prose "$1" | awk '
    /^#+[ \t]/ {
      h = $0
      sub(/^#+[ \t]+/, "", h); sub(/[ \t]+#*[ \t]*$/, "", h)
      h = tolower(h)
      gsub(/[^a-z0-9 _-]/, "", h)
      gsub(/ /, "-", h)
      if (h in seen) { n = seen[h] + 1; seen[h] = n; print h "-" n }
      else { seen[h] = 0; print h }
    }'
}

# Link targets of a page: the part in parentheses after "](", code spans
# left out, one a line.
links() {
  prose "$1" | awk '{
      line = $0
      gsub(/`[^`]*`/, "", line)
      while (match(line, /\]\([^)]*\)/)) {
        t = substr(line, RSTART + 2, RLENGTH - 3)
        sub(/^[ \t]*</, "", t); sub(/>[ \t]*$/, "", t)
        sub(/[ \t]+"[^"]*"[ \t]*$/, "", t)
        print t
        line = substr(line, RSTART + RLENGTH)
      }
    }'
}

# What stands in code: code blocks whole, and the code spans of the rest.
code() {
  awk '
    /^[ \t]*(```|~~~)/ { code = !code; next }
    code { print; next }
    {
      line = $0
      while (match(line, /`[^`]+`/)) {
        print substr(line, RSTART + 1, RLENGTH - 2)
        line = substr(line, RSTART + RLENGTH)
      }
    }' "$1"
}

# The targets a `make` in code names: the word after "make", past VAR=value
# and options; a "#" starts a comment.
make_targets() {
  code "$1" | awk '{
      for (i = 1; i <= NF; i++) {
        if ($i ~ /^#/) break
        if ($i != "make") continue
        for (j = i + 1; j <= NF; j++) {
          if ($j ~ /^#/) break
          if ($j ~ /=/ || $j ~ /^-/) continue
          t = $j
          sub(/[^A-Za-z0-9_.-].*$/, "", t)
          if (t != "") print t
          break
        }
      }
    }'
}

known_targets=" $(
  {
    sed -n 's/^\.PHONY:[[:space:]]*//p' Makefile
    grep -E '^[A-Za-z0-9_.-]+:([^=]|$)' Makefile | sed 's/:.*//'
  } | tr -s ' \t' '\n' | sort -u | tr '\n' ' '
) "

nlinks=0
nanchors=0
nmake=0
for page in "${pages[@]}"; do
  [[ -f $page ]] || {
    fail "$page is missing"
    continue
  }
  dir=$(dirname "$page")
  while IFS= read -r target; do
    [[ -z $target ]] && continue
    [[ $target =~ ^[A-Za-z][A-Za-z0-9+.-]*: ]] && continue
    nlinks=$((nlinks + 1))
    path=${target%%#*}
    anchor=""
    [[ $target == *"#"* ]] && anchor=${target#*#}
    if [[ -z $path ]]; then
      file=$page
    else
      file=$dir/$path
      if [[ ! -e $file ]]; then
        fail "$page: link to $target: no file $path"
        continue
      fi
    fi
    if [[ -n $anchor ]]; then
      nanchors=$((nanchors + 1))
      if [[ $file != *.md || -d $file ]]; then
        fail "$page: link to $target: an anchor in a file that is no page"
      elif ! anchors "$file" | grep -qxF -- "$anchor"; then
        fail "$page: link to $target: no heading \"$anchor\" in $file"
      fi
    fi
  done < <(links "$page")
  while IFS= read -r t; do
    nmake=$((nmake + 1))
    [[ $known_targets == *" $t "* ]] || fail "$page: \`make $t\`: the Makefile has no target $t"
  done < <(make_targets "$page")
done

if ((failures > 0)); then
  echo "$failures failure(s)" >&2
  exit 1
fi
echo "PASS: ${#pages[@]} pages, $nlinks links ($nanchors to headings), $nmake make commands"
