# bash completion for vanthe-cli

_vanthe_cli() {
    local cur prev words cword
    _init_completion -s || return

    local command="" i
    for ((i = 1; i < cword; i++)); do
        case ${words[i]} in
        encrypt | decrypt)
            command=${words[i]}
            break
            ;;
        esac
    done

    case $prev in
    -o | --output | -p | --password-file)
        _filedir
        return
        ;;
    -j | --jobs)
        COMPREPLY=($(compgen -W "$(seq 1 "$(nproc 2>/dev/null || echo 4)")" -- "$cur"))
        return
        ;;
    --codepage)
        COMPREPLY=($(compgen -W "874 932 936 949 950 1250 1251 1252 1253 1254 1255 1256 1257 1258 65001" -- "$cur"))
        return
        ;;
    esac
    [[ $was_split ]] && return

    # After "--" every word is a file, even one that starts with a dash.
    local options=1
    for ((i = 1; i < cword; i++)); do
        [[ ${words[i]} == -- ]] && options=""
    done

    if [[ -z $command ]]; then
        COMPREPLY=($(compgen -W "encrypt decrypt --help --version" -- "$cur"))
        return
    fi
    if [[ $options && $cur == -* ]]; then
        COMPREPLY=($(compgen -W "--output --password-file --codepage --no-check --force
            --jobs --quiet --help --version" -- "$cur"))
        return
    fi
    if [[ $command == decrypt ]]; then
        # Encrypted files first; any file when none matches.
        _filedir enx
        ((${#COMPREPLY[@]})) || _filedir
    else
        _filedir
    fi
}
complete -F _vanthe_cli vanthe-cli
