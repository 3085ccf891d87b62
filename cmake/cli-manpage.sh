#!/bin/sh
# Writes the manual page of tandrel-cli from the program's own help: its usage, its commands and
# each command's --help, so the page lists the options the program really has.
# Usage: cli-manpage.sh PROGRAM VERSION DATE OUTPUT
set -eu
program=$1 version=$2 date=$3 output=$4
# A sanitizer build of the program must not fail the build over its leak report.
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0"
export QT_QPA_PLATFORM=offscreen

# Help text as roff: backslashes and hyphens escaped, no line read as a request.
roff() { sed -e 's/\\/\\e/g' -e 's/-/\\-/g' -e "s/^[.']/\\\\\&&/"; }

usage=$("$program" --help)
commands=$(printf '%s\n' "$usage" | awk '/^Commands:/ { on = 1; next } on && NF == 0 { exit }
                                          on { print $1 }')
[ -n "$commands" ] || { echo "cli-manpage.sh: no commands in the help of $program" >&2; exit 1; }

{
    printf '.TH TANDREL\\-CLI 1 "%s" "Tandrel %s" "User Commands"\n' "$date" "$version"
    printf '.SH NAME\n'
    printf 'tandrel\\-cli \\- convert, probe and play audio and video files from a terminal\n'
    printf '.SH SYNOPSIS\n.nf\n'
    printf '%s\n' "$usage" | sed -n 's/^Usage: //p' | roff
    printf '.fi\n.SH DESCRIPTION\n'
    printf '%s\n' "$usage" | awk 'NR > 1 && /^Commands:/ { exit } NR > 1 && NF' | roff
    printf '.PP\nThe window program is\n.BR tandrel (1).\n'
    printf '.SH COMMANDS\n'
    printf '%s\n' "$usage" | awk '/^Commands:/ { on = 1; next } on && NF == 0 { exit }
        on { name = $1; sub(/^ *[^ ]+ +/, ""); print name "\t" $0 }' |
        while IFS="$(printf '\t')" read -r name summary; do
            printf '.TP\n.B %s\n%s\n' "$(echo "$name" | roff)" "$(echo "$summary" | roff)"
        done
    for command in $commands; do
        printf '.SS %s\n.nf\n' "$(echo "$command" | roff)"
        "$program" "$command" --help | roff
        printf '.fi\n'
    done
    printf '.SH EXIT STATUS\n'
    printf '0 when every file finished, 1 when any failed, 2 for a usage error.\n'
    printf '.SH SEE ALSO\n.BR tandrel (1)\n'
} > "$output.tmp"
mv "$output.tmp" "$output"
