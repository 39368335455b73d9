#!/bin/sh
# Regenerates serialport.pot from the sources and merges it into every <lang>.po here.
# Run from anywhere; afterwards translate what msgmerge left empty or marked fuzzy.
#
# Texts reach the catalogue through intl::sp("...") (and the dialogs' caption("...") wrapper).
# Two tables keep their texts apart from the call that translates them (the port errors and
# the set-up dialog's label captions); they are read from their initialisers below.
set -eu

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
pot="$here/serialport.pot"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT INT TERM

cd "$root"
sources=$(find src/serial src/terminal \( -name '*.cpp' -o -name '*.h' \) | LC_ALL=C sort)

common="--language=C++ --from-code=UTF-8 --package-name=Orvik --msgid-bugs-address= --no-wrap
        --keyword= --keyword=sp --keyword=caption --keyword=N_"

# xgettext, quiet about the bug-report address this project does not give.
extract() {
    status=0
    # shellcheck disable=SC2086
    xgettext $common "$@" 2>"$work/stderr" || status=$?
    grep -v -e 'msgid-bugs-address' -e 'Makevars' -e 'MSGID_BUGS_ADDRESS' -e 'command line option' "$work/stderr" >&2 || true
    return $status
}

# shellcheck disable=SC2086
extract --output="$work/calls.pot" $sources

# A table: file, a pattern that opens its initialiser, and which quoted string of each line is
# the text. The copy keeps line numbers so references point at the real lines.
table() {
    file=$1 start=$2 field=$3
    mkdir -p "$work/tables/$(dirname "$file")"
    awk -v start="$start" -v field="$field" '
        inside && /^[ \t]*\};/ { inside = 0 }
        inside {
            n = split($0, part, "\"")
            if (n >= 2 * field + 1) { print "sp(\"" part[2 * field] "\");"; found++; next }
        }
        $0 ~ start { inside = 1 }
        { print "" }
        END { if (!found) exit 1 }
    ' "$file" > "$work/tables/$file" || {
        echo "update-pot: no texts found in the table of $file (pattern '$start'); has it changed shape?" >&2
        exit 1
    }
}
table src/serial/EComPort.cpp 'kTexts = \{' 1
table src/serial/widgets/ComSetupFrm.cpp 'rows\[\] = \{' 2

extract --directory="$work/tables" --output="$work/tables.pot" \
    src/serial/EComPort.cpp src/serial/widgets/ComSetupFrm.cpp
msgcat --no-wrap --use-first --sort-by-file "$work/calls.pot" "$work/tables.pot" |
    sed -e 's/^# SOME DESCRIPTIVE TITLE\./# Texts of the serial port'"'"'s dialogs and errors, text domain "serialport"./' \
        -e '/^# Copyright (C) YEAR/d' -e '/^# FIRST AUTHOR/d' \
        -e 's/charset=CHARSET/charset=UTF-8/' >"$work/serialport.pot"

# Keep the old file when nothing but the creation date changed, so a rerun leaves no diff.
strip() { grep -v '^"POT-Creation-Date:' "$1" || true; }
if [ -f "$pot" ] && [ "$(strip "$pot")" = "$(strip "$work/serialport.pot")" ]; then
    echo "serialport.pot unchanged"
else
    cp "$work/serialport.pot" "$pot"
    echo "serialport.pot: $(grep -c '^msgid "' "$pot") entries (including the header)"
fi

for po in "$here"/*.po; do
    [ -e "$po" ] || continue
    msgmerge --quiet --update --backup=none --previous --no-wrap --sort-by-file "$po" "$pot"
    stats=$(msgfmt --check --statistics --output-file=/dev/null "$po" 2>&1)
    echo "$(basename "$po"): $stats"
done
