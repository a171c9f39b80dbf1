#!/usr/bin/env bash
# Fails when a relative link in README.md, docs/ or a tool's page points at a
# file (or a heading of a Markdown file) that does not exist, or when the
# README's two commands are not the ones .ci/run and the main job use.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
export LC_ALL=C.UTF-8

failures=0
fail() {
    echo "check-docs: $*" >&2
    failures=$((failures + 1))
}

# The anchors a Markdown file's headings give, one a line, as links write them.
anchors() {
    sed -n 's/^#\{1,6\} \{1,\}//p' "$1" | tr '[:upper:]' '[:lower:]' |
        sed 's/[^[:alnum:] _-]//g; s/ /-/g'
}

# Prints "line target" for each inline link outside fenced code blocks.
links() {
    awk '/^```/ { fenced = !fenced; next }
         !fenced {
             line = $0
             while (match(line, /\]\([^) ]+\)/)) {
                 print NR " " substr(line, RSTART + 2, RLENGTH - 3)
                 line = substr(line, RSTART + RLENGTH)
             }
         }' "$1"
}

pages=(README.md docs/*.md tools/*/README.md)
for page in "${pages[@]}"; do
    [ -f "$page" ] || continue
    dir=$(dirname "$page")
    while read -r number target; do
        case $target in
            http://* | https://* | mailto:*) continue ;;
        esac
        path=${target%%#*}
        anchor=
        [[ $target == *"#"* ]] && anchor=${target#*#}
        if [ -z "$path" ]; then
            file=$page
        else
            file=$dir/$path
        fi
        if [ ! -e "$file" ]; then
            fail "$page:$number: $target: no such file"
        elif [ -n "$anchor" ] && [[ $file == *.md ]] && ! anchors "$file" | grep -qxF "$anchor"; then
            fail "$page:$number: $target: no such heading"
        fi
    done < <(links "$page")
done

# The README's two commands: the main job and the test run that CI calls.
for command in scripts/run.sh scripts/test.sh; do
    grep -q "^$command " README.md || fail "README.md does not show $command"
    [ -x "$command" ] || fail "$command is not an executable script"
done
grep -q '^scripts/test.sh' .ci/run || fail ".ci/run does not call scripts/test.sh"

if [ "$failures" -gt 0 ]; then
    echo "check-docs: $failures problem(s)" >&2
    exit 1
fi
