# shellcheck shell=bash
# bash completion for velmorjob(1): the long options, file names after the
# options that take a file (--config=, --lock=, --report=, --metrics=,
# --history=), and
# for the job the names that "velmorjob --list" prints for the configuration
# file given on the command line.

# The text of the word $1 as the shell will read it, without its backslashes
# and quotes. The word being completed may still lack its closing quote.
_velmorjob_dequote() {
  local word=$1 text='' quote='' char i
  for ((i = 0; i < ${#word}; i++)); do
    char=${word:i:1}
    if [[ $quote == "'" ]]; then
      if [[ $char == "'" ]]; then quote=''; else text+=$char; fi
    elif [[ $char == \\ ]]; then
      i=$((i + 1))
      # Inside double quotes a backslash escapes only $ ` " and itself.
      [[ $quote == '"' && ${word:i:1} != [\$\`\"\\] ]] && text+=\\
      text+=${word:i:1}
    elif [[ $quote == '"' ]]; then
      if [[ $char == '"' ]]; then quote=''; else text+=$char; fi
    elif [[ $char == "'" || $char == '"' ]]; then
      quote=$char
    else
      text+=$char
    fi
  done
  [[ $quote == '' && $text == \~/* ]] && text=$HOME/${text#\~/}
  printf '%s' "$text"
}

# The path of the last --config= before the word being completed. bash
# splits "--config=path" at the "=" unless COMP_WORDBREAKS lacks it.
_velmorjob_config() {
  local i word config=''
  for ((i = 1; i < COMP_CWORD; i++)); do
    word=${COMP_WORDS[i]}
    if [[ $word == --config=* ]]; then
      config=${word#--config=}
    elif [[ $word == --config && ${COMP_WORDS[i + 1]} == = ]]; then
      config=''
      if ((i + 2 < COMP_CWORD)); then config=${COMP_WORDS[i + 2]}; fi
    fi
  done
  _velmorjob_dequote "$config"
}

_velmorjob() {
  # The options of velmorjob --help; those ending in "=" take a value, and
  # those named in file_options take a file name.
  local -a options=(--config= --dry-run --verbose --quiet --check --list --timeout= --kill-after=
    --job-timeout= --retries= --retry-delay= --retry-on= --from-step= --lock --lock= --lock-wait=
    --exit-on-error --report= --metrics= --keep-output= --on-start= --on-success= --on-failure=
    --hook-timeout= --history --history= --keep-days= --keep-runs= --runs --runs= --status --json
    --help --version)
  local file_options=' --config --lock --report --metrics --history '
  local cur=${COMP_WORDS[COMP_CWORD]}
  local prev='' prev2=''
  ((COMP_CWORD >= 1)) && prev=${COMP_WORDS[COMP_CWORD - 1]}
  ((COMP_CWORD >= 2)) && prev2=${COMP_WORDS[COMP_CWORD - 2]}
  COMPREPLY=()

  # A file name after --config= and the like, written as one word or as
  # three ("--config" "=" "path") when bash splits at the "=". Right after
  # the "=" the word being completed is the "=" itself.
  if [[ $cur == = && $file_options == *" $prev "* ]]; then
    cur=''
    prev2=$prev
    prev='='
  fi
  local takes_file=false prefix='' path=$cur
  if [[ $cur == --*=* && $file_options == *" ${cur%%=*} "* ]]; then
    takes_file=true
    prefix=${cur%%=*}=
    path=${cur#*=}
  elif [[ $prev == = && $file_options == *" $prev2 "* ]]; then
    takes_file=true
  fi
  if $takes_file; then
    # One name a line, never split again nor expanded as a pattern.
    mapfile -t COMPREPLY < <(compgen -f -- "$(_velmorjob_dequote "$path")")
    COMPREPLY=("${COMPREPLY[@]/#/$prefix}")
    compopt -o filenames 2>/dev/null
    return 0
  fi

  if [[ $cur == -* ]]; then
    local option
    for option in "${options[@]}"; do
      [[ $option == "$cur"* ]] && COMPREPLY+=("$option")
    done
    if ((${#COMPREPLY[@]} == 1)) && [[ ${COMPREPLY[0]} == *= ]]; then
      compopt -o nospace 2>/dev/null
    fi
    return 0
  fi

  # A job name: the names in the configuration file that begin with the
  # text typed so far, quoted for the command line.
  local config names name typed
  typed=$(_velmorjob_dequote "$cur")
  config=$(_velmorjob_config)
  local -a list_args=(--list)
  [[ -n $config ]] && list_args+=("--config=$config")
  # On failure --list prints a message, not names.
  names=$("${COMP_WORDS[0]}" "${list_args[@]}" 2>/dev/null) || return 0
  while IFS= read -r name; do
    [[ -n $name && $name == "$typed"* ]] && COMPREPLY+=("$(printf '%q' "$name")")
  done <<<"$names"
  return 0
}

complete -F _velmorjob velmorjob
