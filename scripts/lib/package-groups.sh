# Package set-up by group, sourced by scripts/test.
#
# Each group is installed by its own apt-get call, so a package that cannot be
# had (the registry has refused wine32:i386 for hours at a time) costs only the
# stages that need it. After install_package_groups:
#   group_state[<group>]   ok | failed | skipped
#   group_reason[<group>]  apt's own reason when failed
# and blocked_by <stage> prints why a stage cannot run (nothing when it can).
#
# TALVEX_APT_RETRIES (default 3) and TALVEX_APT_PAUSE (seconds, default 20)
# shape the retries of apt-get update.

group_names=(build oracles m32 mingw wine64 wine analysis)
declare -A group_packages=(
  # pkg-config: the engine archive's example is built with it, as another program would.
  [build]="cmake ninja-build g++ pkg-config googletest libgtest-dev libbenchmark-dev"
  # The independent xBase readers and writers the engine's files are checked against.
  [oracles]="libdbd-xbase-perl python3-dbfread gdal-bin shapelib"
  [m32]="gcc-multilib g++-multilib"
  # Windows cross build; native tests also use it to make small PE files.
  [mingw]="mingw-w64"
  # The x86_64 Windows tests, where no 32-bit program runs.
  [wine64]="wine64"
  [wine]="wine wine32:i386"
  # Fuzzing and memory checks by hand; no stage of scripts/test needs them.
  [analysis]="clang libclang-rt-14-dev valgrind"
)
declare -A group_state=() group_reason=()
apt_update_note=""

package_installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }

missing_packages() {
  local p out=()
  for p in ${group_packages[$1]}; do package_installed "$p" || out+=("$p"); done
  echo "${out[*]}"
}

# apt's reason for a failed call: its error lines and the unmet dependencies,
# on one line.
apt_reason() {
  grep -E '^(E:|W: Failed|Err:)| Depends: |but it is not (installable|going to be installed)' "$1" |
    sed -E 's/^[[:space:]]+//' | awk '!seen[$0]++' | head -n 6 | paste -sd ';' - |
    sed 's/;/; /g'
}

apt_update_with_retries() {
  local tries=${TALVEX_APT_RETRIES:-3} pause=${TALVEX_APT_PAUSE:-20} i log
  log=$(mktemp)
  for ((i = 1; i <= tries; i++)); do
    if apt-get update -q >"$log" 2>&1; then
      rm -f "$log"
      return 0
    fi
    echo "apt-get update failed (try $i of $tries): $(apt_reason "$log")"
    ((i < tries)) && sleep "$pause"
  done
  # Some indexes failed; what was fetched is still usable.
  apt_update_note="apt-get update: carried on with the lists that were fetched; failed: $(apt_reason "$log")"
  echo "$apt_update_note"
  rm -f "$log"
  return 1
}

install_package_groups() {
  local g missing need_i386=0 any_missing=0
  for g in "${group_names[@]}"; do
    [[ -n $(missing_packages "$g") ]] && any_missing=1
  done
  dpkg --print-foreign-architectures | grep -qx i386 || need_i386=1
  if ((any_missing == 0 && need_i386 == 0)); then
    for g in "${group_names[@]}"; do group_state[$g]=ok; done
    echo "all packages present"
    return 0
  fi
  if [[ $(id -u) != 0 ]]; then
    echo "not root: cannot install missing packages" >&2
    note_missing_groups "run as root or install them"
    return 1
  fi
  export DEBIAN_FRONTEND=noninteractive
  ((need_i386)) && dpkg --add-architecture i386
  apt_update_with_retries
  local log rc=0
  log=$(mktemp)
  for g in "${group_names[@]}"; do
    missing=$(missing_packages "$g")
    if [[ -z $missing ]]; then
      group_state[$g]=ok
      continue
    fi
    echo "group $g: installing $missing"
    # shellcheck disable=SC2086 # package names are words
    if apt-get install -y -q --no-install-recommends $missing >"$log" 2>&1 &&
      [[ -z $(missing_packages "$g") ]]; then
      group_state[$g]=ok
    else
      group_state[$g]=failed
      group_reason[$g]=$(apt_reason "$log")
      [[ -n ${group_reason[$g]} ]] || group_reason[$g]="still missing: $(missing_packages "$g")"
      echo "group $g: FAILED: ${group_reason[$g]}"
      rc=1
    fi
  done
  rm -f "$log"
  return "$rc"
}

# Without installing: which groups are incomplete on this machine ($1: what
# to do about it).
note_missing_groups() {
  local g missing
  for g in "${group_names[@]}"; do
    missing=$(missing_packages "$g")
    if [[ -z $missing ]]; then group_state[$g]=ok; else
      group_state[$g]=failed
      group_reason[$g]="not installed: $missing; $1"
    fi
  done
}

# The groups a stage needs; stage names are "<build>: <step>".
groups_needed_by() {
  case $1 in
    *": configure" | *": build")
      case $1 in
        m32:*) echo "build m32" ;;
        windows*) echo "build mingw" ;;
        *) echo build ;;
      esac ;;
    "windows: export/import tables") echo mingw ;;
    "windows: test") echo wine ;;
    "windows64: test") echo wine64 ;;
    *": test") [[ $1 == m32:* ]] && echo "build m32 oracles mingw" || echo "build oracles mingw" ;;
  esac
}

# Why a stage cannot run, or nothing. Unknown group states (no package step)
# block nothing: the stage then finds out for itself.
blocked_by() {
  local g
  for g in $(groups_needed_by "$1"); do
    if [[ ${group_state[$g]:-} == failed ]]; then
      echo "package group $g could not be installed"
      return 0
    fi
  done
}
