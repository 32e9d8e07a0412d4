# bash completion for quillet
_quillet() {
  local cur=${COMP_WORDS[COMP_CWORD]}
  if [[ $COMP_CWORD -eq 1 ]]; then
    mapfile -t COMPREPLY < <(compgen -W "sha1 broken lockdown md5 password --help --version" -- "$cur")
    return
  fi
  case ${COMP_WORDS[1]} in
    sha1|broken|lockdown|md5)
      if [[ $cur == -* ]]; then
        mapfile -t COMPREPLY < <(compgen -W "--binary --check --string --tag --text --zero --lower
          --jobs --no-progress --ignore-missing --quiet --status --strict --warn --help --version" -- "$cur")
      else
        mapfile -t COMPREPLY < <(compgen -f -- "$cur")
      fi
      ;;
    password) COMPREPLY=() ;;
  esac
}
complete -o filenames -F _quillet quillet
