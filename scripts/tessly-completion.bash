# Bash completion for tessly: commands, each command's options, evaluator
# ids after --only, formats after --format, and files elsewhere.
_tessly()
{
    local cur prev
    cur=${COMP_WORDS[COMP_CWORD]}
    prev=${COMP_WORDS[COMP_CWORD-1]}
    if [[ $COMP_CWORD -eq 1 ]]; then
        COMPREPLY=($(compgen -W "eval field expr check help --help --version" -- "$cur"))
        return
    fi
    case $prev in
        --format) COMPREPLY=($(compgen -W "table json csv" -- "$cur")); return ;;
        --only) COMPREPLY=($(compgen -W "AcLength AcArea AcBlockCount TextField TableCell ExcelCell TsExpr" -- "$cur")); return ;;
        --drawing|--output|--module) COMPREPLY=($(compgen -f -- "$cur")); return ;;
        --select|--table|-j) return ;;
        help) COMPREPLY=($(compgen -W "eval field expr check" -- "$cur")); return ;;
    esac
    local options
    case ${COMP_WORDS[1]} in
        eval) options="--format --json --only --failed --save --output --watch -j --module --help" ;;
        field) options="--drawing --select --json --module --help" ;;
        expr) options="--drawing --table --json --module --help" ;;
        check) options="--json --module --help" ;;
    esac
    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W "$options" -- "$cur"))
    elif [[ ${COMP_WORDS[1]} == eval || ${COMP_WORDS[1]} == check ]]; then
        COMPREPLY=($(compgen -f -X '!*.@(json|dxf|JSON|DXF)' -- "$cur") $(compgen -d -- "$cur"))
    fi
}
complete -F _tessly tessly
