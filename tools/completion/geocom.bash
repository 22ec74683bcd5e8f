# bash completion for geocom: subcommands, their options, the commands of
# `geocom call`, files and serial devices. Subcommands, options and commands
# are read from the tool's own help texts, so they always match the tool.

# "NAME TYPE" for each long option in a help text, "NAME" alone for a flag:
# CLI11 puts an option's type one space after its name, pads a flag's name
# up to the description, and may follow either with "Needs:" or "Excludes:".
_geocom_options() {
  "$@" --help 2>/dev/null |
    sed -nE 's/^ {2,4}(-[a-zA-Z],)?(--[a-zA-Z0-9-]+)( ([^ ]+))?.*/\2 \4/p' |
    sed -E 's/ [A-Za-z]+:$//'
}

# The first words of the lines below the help text's line starting with
# HEADING, up to the next blank line.
_geocom_listing() {
  local heading="$1"
  shift
  "$@" --help 2>/dev/null |
    awk -v heading="$heading" 'index($0, heading) == 1 { listing = 1; next }
      /^$/ { listing = 0 }
      listing { print $1 }'
}

_geocom_reply() {
  mapfile -t COMPREPLY < <(compgen "$@")
}

# Completes a value of the TYPE that an option's help names.
_geocom_value() {
  local type="$1" cur="$2"
  case "$type" in
    DEVICE)
      if [[ -z "$cur" || "$cur" == /dev/* || "/dev/" == "$cur"* ]]; then
        _geocom_reply -W "$(compgen -G '/dev/tty[A-Z]*'
          compgen -G '/dev/serial/by-id/*'
          compgen -G '/dev/pts/[0-9]*')" -- "$cur"
      fi
      if ((${#COMPREPLY[@]} == 0)); then
        compopt -o filenames 2>/dev/null || true
        _geocom_reply -f -- "$cur"
      fi
      ;;
    *FILE*)
      compopt -o filenames 2>/dev/null || true
      _geocom_reply -f -- "$cur"
      ;;
    *"|"*)
      # A choice, as the help writes it: "rad|deg|gon".
      _geocom_reply -W "${type//|/ }" -- "$cur"
      ;;
  esac
}

_geocom() {
  COMPREPLY=()
  # The words up to the cursor, split at blanks only: bash's own words are
  # also split at ':' and '=', which would break HOST:PORT and --out=FILE.
  local line="${COMP_LINE:0:COMP_POINT}"
  local -a words
  read -ra words <<<"$line"
  if [[ -z "$line" || "$line" =~ [[:space:]]$ ]]; then
    words+=("")
  fi
  local last=$((${#words[@]} - 1))
  ((last > 0)) || return 0
  local geocom="${words[0]}"
  if [[ "$geocom" == \~/* ]]; then
    geocom="$HOME/${geocom#"~/"}"
  fi
  local word="${words[last]}" prev="${words[last - 1]}"
  if [[ "$word" == --*=* ]]; then
    prev="${word%%=*}"
  fi
  # What bash replaces: the word after its last ':' or '='.
  local cur="${COMP_WORDS[COMP_CWORD]}"
  if [[ "$cur" == [=:] ]]; then
    cur=""
  fi

  local i subcommand="" subcommand_index=0
  for ((i = 1; i < last; i++)); do
    if [[ "${words[i]}" != -* ]]; then
      subcommand="${words[i]}"
      subcommand_index=$i
      break
    fi
  done
  if [[ -z "$subcommand" ]]; then
    if [[ "$word" == -* ]]; then
      _geocom_reply -W "$(_geocom_options "$geocom" | cut -d' ' -f1)" \
        -- "$cur"
    else
      _geocom_reply -W "$(_geocom_listing Subcommands: "$geocom")" -- "$cur"
    fi
    return 0
  fi

  local options
  options="$(_geocom_options "$geocom" "$subcommand")"
  local -A value_type=()
  local name type
  while read -r name type; do
    if [[ -n "$type" ]]; then
      value_type[$name]="$type"
    fi
  done <<<"$options"

  if [[ -n "$prev" && -n "${value_type[$prev]+set}" && ("$word" != -* || "$word" == --*=*) ]]
  then
    _geocom_value "${value_type[$prev]}" "$cur"
    return 0
  fi
  if [[ "$word" == -* ]]; then
    _geocom_reply -W "$(cut -d' ' -f1 <<<"$options")" -- "$cur"
    return 0
  fi

  # Which positional argument is being completed: options and their values
  # do not count.
  local position=0
  for ((i = subcommand_index + 1; i < last; i++)); do
    if [[ -n "${value_type[${words[i]}]+set}" ]]; then
      ((i += 1))
    elif [[ "${words[i]}" != -* ]]; then
      ((position += 1))
    fi
  done
  case "$subcommand:$position" in
    call:0)
      _geocom_reply -W "$(_geocom_listing Commands "$geocom" call)" -- "$cur"
      ;;
    decode:0 | shell:0)
      compopt -o filenames 2>/dev/null || true
      _geocom_reply -f -- "$cur"
      ;;
  esac
  return 0
}

complete -F _geocom geocom
