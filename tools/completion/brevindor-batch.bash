# bash completion for brevindor-batch: the commands, each command's options, the --format values
# (each command's own), local interface names for --interface, and files for apply's plan,
# --undo, --from and --journal.
# Installed as share/bash-completion/completions/brevindor-batch; to try it by hand:
#   source tools/completion/brevindor-batch.bash

_brevindor_batch_interfaces()
{
    local names
    if [ -d /sys/class/net ]; then
        names=$(ls /sys/class/net 2>/dev/null)
    else
        names=$(ip -o link 2>/dev/null | awk -F': ' '{ sub(/@.*/, "", $2); print $2 }')
    fi
    printf '%s\n' "$names" all
}

_brevindor_batch()
{
    local cur=${COMP_WORDS[COMP_CWORD]}
    local prev=""
    [ "$COMP_CWORD" -gt 0 ] && prev=${COMP_WORDS[COMP_CWORD - 1]}
    # --option=value: '=' is a word of its own in COMP_WORDS.
    if [ "$cur" = "=" ]; then
        cur=""
    elif [ "$prev" = "=" ] && [ "$COMP_CWORD" -gt 1 ]; then
        prev=${COMP_WORDS[COMP_CWORD - 2]}
    fi
    COMPREPLY=()

    local command="" i
    for ((i = 1; i < COMP_CWORD; i++)); do
        case ${COMP_WORDS[i]} in
        scan | set | apply | replace | watch | doctor | journal | report)
            command=${COMP_WORDS[i]}
            break
            ;;
        esac
    done
    if [ -z "$command" ]; then
        if [[ $cur == -* ]]; then
            mapfile -t COMPREPLY < <(compgen -W "--help --version" -- "$cur")
        else
            mapfile -t COMPREPLY < <(compgen -W "scan set apply replace watch doctor journal report" -- "$cur")
        fi
        return 0
    fi

    case $prev in
    --format)
        local formats="table csv json"
        [ "$command" != watch ] && [ "$command" != doctor ] || formats="table json"
        mapfile -t COMPREPLY < <(compgen -W "$formats" -- "$cur")
        return 0
        ;;
    --interface | -i)
        mapfile -t COMPREPLY < <(compgen -W "$(_brevindor_batch_interfaces)" -- "$cur")
        return 0
        ;;
    --undo | --from | --journal)
        compopt -o filenames 2>/dev/null
        mapfile -t COMPREPLY < <(compgen -f -- "$cur")
        return 0
        ;;
    --mac | --ip | --gateway | --mask | --timeout | -t | --max-time | --settle | --verify-time | --every | --gone-after | \
        --since | --until | --title)
        return 0   # a value of the user's own
        ;;
    esac

    local options
    case $command in
    scan) options="--interface --timeout --max-time --format --bom --help" ;;
    set) options="--mac --ip --gateway --mask --interface --timeout --max-time --settle --verify-time --no-verify
                  --format --bom --undo --journal --no-journal --help" ;;
    apply) options="--interface --timeout --max-time --settle --verify-time --dry-run --format --bom --undo
                    --journal --no-journal --help" ;;
    replace) options="--old --new --from --interface --timeout --max-time --settle --verify-time --format --bom --undo --help" ;;
    watch) options="--interface --every --gone-after --format --max-time --help" ;;
    doctor) options="--interface --timeout --format --help" ;;
    journal) options="--since --until --mac --format --verify --journal --help" ;;
    report) options="--since --until --title --journal --help" ;;
    esac
    if [[ $cur == -* ]]; then
        mapfile -t COMPREPLY < <(compgen -W "$options" -- "$cur")
    elif [ "$command" = apply ]; then
        compopt -o filenames 2>/dev/null
        mapfile -t COMPREPLY < <(compgen -f -- "$cur")
    fi
    return 0
}

complete -F _brevindor_batch brevindor-batch
