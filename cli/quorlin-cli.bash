# bash completion for quorlin-cli.
# The commands and each command's options are read from the tool's own
# --help, so that the completion follows the installed tool.

_quorlin_cli() {
    local cur prev words cword
    _init_completion || return

    local cli=${words[0]}
    if [[ $cword -eq 1 ]]; then
        local commands
        commands=$("$cli" --help 2>/dev/null | awk '/^commands:/ {list = 1; next} list && /^  [a-z]/ {print $1}')
        COMPREPLY=($(compgen -W "$commands --help --version" -- "$cur"))
        return
    fi

    local command=${words[1]}
    case $prev in
        --target | --ports)
            _filedir -d
            return
            ;;
        --source1 | --source2)
            _filedir
            return
            ;;
        --machine)
            local machines
            machines=$("$cli" machines 2>/dev/null | cut -f1)
            COMPREPLY=($(compgen -W "$machines" -- "$cur"))
            return
            ;;
        --port | --family | --baud-index | --idle-timeout | --kind | --type | --version | --date | --tag | \
            --from-block | --from-line | --retry-ms)
            # A value of the user's choosing.
            return
            ;;
    esac

    if [[ $cur == -* ]]; then
        local options
        options=$("$cli" "$command" --help 2>/dev/null | grep -o -- '--[a-z][a-z0-9-]*' | sort -u)
        COMPREPLY=($(compgen -W "$options --help" -- "$cur"))
        return
    fi
    case $command in
        batch-convert) _filedir -d ;;
        ports | machines) ;;
        serve) COMPREPLY=($(compgen -W "$("$cli" machines 2>/dev/null | cut -f1)" -- "$cur")) ;;
        *) _filedir ;;
    esac
}
complete -F _quorlin_cli quorlin-cli
