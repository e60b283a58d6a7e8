# Runs one completion the way bash does on Tab: complete.sh COMPLETION_FILE "COMMAND LINE"
# prints the candidates, one a line.
source /usr/share/bash-completion/bash_completion
source "$1"
COMP_LINE=$2
COMP_POINT=${#COMP_LINE}
read -ra COMP_WORDS <<<"$COMP_LINE"
[[ $COMP_LINE == *" " ]] && COMP_WORDS+=("")
COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
complete -p "${COMP_WORDS[0]}" >/dev/null || exit 3
func=$(complete -p "${COMP_WORDS[0]}" | sed -n 's/.*-F \([^ ]*\) .*/\1/p')
"$func" "${COMP_WORDS[0]}" "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD-1]}"
printf '%s\n' "${COMPREPLY[@]}"
