# bash completion for velmorjob(1): the long options, file names after
# --config=, and for the job the names that "velmorjob --list" prints for the
# configuration file given on the command line.

_velmorjob_config() {
  # The path of the last --config= before the word being completed. bash
  # splits "--config=path" at the "=" unless COMP_WORDBREAKS lacks it.
  local i word config=
  for ((i = 1; i < COMP_CWORD; i++)); do
    word=${COMP_WORDS[i]}
    if [[ $word == --config=* ]]; then
      config=${word#--config=}
    elif [[ $word == --config && ${COMP_WORDS[i + 1]} == = ]]; then
      config=
      if ((i + 2 < COMP_CWORD)); then config=${COMP_WORDS[i + 2]}; fi
    fi
  done
  [[ $config == "~/"* ]] && config=$HOME/${config#"~/"}
  printf '%s' "$config"
}

_velmorjob() {
  local cur=${COMP_WORDS[COMP_CWORD]}
  local prev= prev2=
  ((COMP_CWORD >= 1)) && prev=${COMP_WORDS[COMP_CWORD - 1]}
  ((COMP_CWORD >= 2)) && prev2=${COMP_WORDS[COMP_CWORD - 2]}
  COMPREPLY=()

  # A file name after --config=.
  if [[ $cur == = && $prev == --config ]]; then
    cur=
    prev2=--config prev==
  fi
  if [[ $prev == = && $prev2 == --config ]] || [[ $cur == --config=* ]]; then
    local prefix= path=$cur
    if [[ $cur == --config=* ]]; then
      prefix=--config=
      path=${cur#--config=}
    fi
    local IFS=$'\n'
    COMPREPLY=($(compgen -f -- "$path"))
    COMPREPLY=("${COMPREPLY[@]/#/$prefix}")
    compopt -o filenames 2>/dev/null
    return 0
  fi

  if [[ $cur == -* ]]; then
    local option
    for option in --config= --dry-run --verbose --check --list --help --version; do
      [[ $option == "$cur"* ]] && COMPREPLY+=("$option")
    done
    if ((${#COMPREPLY[@]} == 1)) && [[ ${COMPREPLY[0]} == *= ]]; then
      compopt -o nospace 2>/dev/null
    fi
    return 0
  fi

  # A job name: the names in the configuration file that begin with cur.
  local config names name
  config=$(_velmorjob_config)
  local -a list_args=(--list)
  [[ -n $config ]] && list_args+=("--config=$config")
  # On failure --list prints a message, not names.
  names=$("${COMP_WORDS[0]}" "${list_args[@]}" 2>/dev/null) || return 0
  while IFS= read -r name; do
    [[ -n $name && $name == "$cur"* ]] && COMPREPLY+=("$(printf '%q' "$name")")
  done <<<"$names"
  return 0
}

complete -F _velmorjob velmorjob
