# Sourced by the demo scripts: print_command NAME ARG... prints the command line as a user
# types it ("$ NAME ARG ..."), arguments that hold spaces in quotes, after an empty line.
print_command() {
    local shown="$1" arg
    shift
    for arg in "$@"; do
        case $arg in *" "*) shown+=" \"$arg\"" ;; *) shown+=" $arg" ;; esac
    done
    echo
    echo "\$ $shown"
}
