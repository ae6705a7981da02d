# The programs the update benchmarks run, for scripts that source this file:
#   update_timer_programs WINDOWS_BUILD_DIR NATIVE_BUILD_DIR
# sets $native (UpdateTimer), $publisher (publish) and $exe (UpdateTimer.exe, which may be
# missing: the Wine figures are then left out); it fails without the native ones.
update_timer_programs() {
    native=$2/bin/UpdateTimer
    publisher=$2/bin/publish
    exe=$1/bin/UpdateTimer.exe
    local program
    for program in "$native" "$publisher"; do
        [ -x "$program" ] || { echo "no $program: build the targets UpdateTimer and publish of the linux-bench preset"; return 1; }
    done
    [ -f "$exe" ] || echo "no $exe: build the target UpdateTimer of the windows-demo preset for the Wine figures"
}
