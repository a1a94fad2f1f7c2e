#!/bin/sh
# Writes the manual page of kestrin-art from the built program's own help, so
# the page always describes the options the program really has: the overview
# (`kestrin-art --help`) makes the page, and every command the overview lists
# under "Commands:" gets a subsection from `kestrin-art COMMAND --help`.
#
# Usage: kestrin-art-manpage.sh HELP2MAN KESTRIN_ART SUMMARY BUG_URL OUT.1
set -eu
help2man=$1 program=$2 summary=$3 bugs=$4 out=$5
include=$out.include
trap 'rm -f "$include"' EXIT

commands=$("$program" --help | awk '/^Commands:/ { listing = 1; next }
                                    listing && NF == 0 { exit }
                                    listing { print $1 }')
if [ -z "$commands" ]; then
    echo "$0: '$program --help' lists no commands under \"Commands:\"" >&2
    exit 1
fi

# One command's help as a subsection: help2man formats it as a page of its
# own, of which the synopsis line and everything after it are kept, the page's
# sections turned into bold headings inside the subsection.
command_section() {
    echo ".SS $1"
    "$help2man" --no-info --version-string=unused --help-option="$1 --help" "$program" |
        sed -e '1,/^\.SH SYNOPSIS$/d' \
            -e 's/^\.SH DESCRIPTION$/.PP/' \
            -e 's/^\.SH OPTIONS$/.PP\n.B Options:/' \
            -e 's/^\.S[HS] \(.*\)$/.PP\n.B \1/'
}

{
    echo '[COMMANDS]'
    echo 'Each command takes its own options after its name.'
    for command in $commands; do command_section "$command"; done
    echo '[REPORTING BUGS]'
    echo "Report bugs at $bugs"
    echo '[SEE ALSO]'
    echo '.BR kestrin (1)'
} >"$include"

"$help2man" --no-info --name="$summary" --include="$include" --output="$out" "$program"
