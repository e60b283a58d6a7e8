# bash completion for zavlen-get and zavlen-video

_zavlen_get()
{
    local cur prev words cword
    _init_completion -s || return

    case $prev in
        -s | --site)
            COMPREPLY=($(compgen -W 'weishi meipai kuaishou miaopai auto' -- "$cur"))
            return
            ;;
        --archive)
            COMPREPLY=($(compgen -W 'fallback off only' -- "$cur"))
            return
            ;;
        -a | --batch-file | --config | --download-archive)
            _filedir
            return
            ;;
        -o | --output)
            _filedir -d
            return
            ;;
        -J | --jobs | --timeout | --proxy | --set | -O | --output-template)
            return
            ;;
    esac

    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W '--site --json --batch-file --jobs --download --output --quiet
            --output-template --download-archive --write-info-json --embed-metadata --write-thumbnail
            --mtime --no-cache --refresh --config --proxy --timeout --archive --set --help --help-all --version' -- "$cur"))
        return
    fi
}
complete -F _zavlen_get zavlen-get

_zavlen_video()
{
    local cur prev words cword
    _init_completion -s || return

    case $prev in
        --archive)
            COMPREPLY=($(compgen -W 'fallback off only' -- "$cur"))
            return
            ;;
        --config | --screenshot)
            _filedir
            return
            ;;
        --timeout | --proxy | --set)
            return
            ;;
    esac

    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W '--config --proxy --timeout --archive --set --demo --screenshot
            --help --help-all --version' -- "$cur"))
    fi
}
complete -F _zavlen_video zavlen-video

# ex: filetype=sh
