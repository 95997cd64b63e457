# sh cli/usage-errors.sh ARGS...: runs qxhost with each ARGS, split at spaces, reading nothing.
# The first run's output, errors and exit status are this script's own, for its case to check. Each
# other run must be a usage error too: exit status 2, the reason, then the short usage. A run that
# is not is shown on standard output, and the status is 1.
first=$1
shift
qxhost $first </dev/null
status=$?
for args in "$@"; do
  err=$(qxhost $args 2>&1 >/dev/null </dev/null)
  code=$?
  case "$code $err" in
  "2 qxhost: "*"
usage: qxhost "*) ;;
  *) printf 'qxhost %s: exit %s\n%s\n' "$args" "$code" "$err" && status=1 ;;
  esac
done
exit $status
