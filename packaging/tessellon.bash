# bash completion for tessellon(1). Plain bash: it needs nothing from the bash-completion package.

_tessellon() {
  local current=${COMP_WORDS[COMP_CWORD]}
  local previous=${COMP_WORDS[COMP_CWORD - 1]}
  local verbs="init preview backup list restore verify history config help"
  local remote="--remote --transfers --ca-file --insecure --s3-endpoint --s3-region"
  local folders="--pictures --movies --contacts --calendars --only"
  local output="--json --verbose --quiet --help"
  local options

  local verb="" word
  for word in "${COMP_WORDS[@]:1:COMP_CWORD-1}"; do
    case $word in
      -*) ;;
      *) verb=$word; break ;;
    esac
  done

  case $previous in
    --pictures | --movies | --contacts | --calendars)
      COMPREPLY=($(compgen -d -- "$current"))
      return ;;
    --ca-file)
      COMPREPLY=($(compgen -f -- "$current"))
      return ;;
    --remote)
      # A folder, or the start of a URL.
      COMPREPLY=($(compgen -d -- "$current") $(compgen -W "file:// dav:// davs:// s3://" -- "$current"))
      compopt -o nospace 2>/dev/null
      return ;;
    --only)
      local done_part="" rest=$current
      if [[ $current == *,* ]]; then
        done_part=${current%,*},
        rest=${current##*,}
      fi
      COMPREPLY=($(compgen -P "$done_part" -W "contacts calendars images videos" -- "$rest"))
      compopt -o nospace 2>/dev/null
      return ;;
    --transfers | --s3-endpoint | --s3-region | --name | --archive-size | --device | --keep-history | --as-of)
      return ;;
  esac

  case $verb in
    "")
      COMPREPLY=($(compgen -W "$verbs --help --version" -- "$current"))
      return ;;
    help)
      COMPREPLY=($(compgen -W "$verbs" -- "$current"))
      return ;;
    preview | backup)
      options="$remote $folders --name --keep-deleted --prune --allow-large-removal --archive-size --keep-history $output" ;;
    restore)
      options="$remote --device --as-of $folders $output" ;;
    history)
      options="$remote --device $output" ;;
    verify)
      options="$remote --device --read-data $output" ;;
    list | init)
      options="$remote $output" ;;
    config)
      options="$remote $folders --archive-size $output" ;;
    *)
      return ;;
  esac
  if [[ $current == -* ]]; then
    COMPREPLY=($(compgen -W "$options" -- "$current"))
  fi
}

complete -o default -F _tessellon tessellon
