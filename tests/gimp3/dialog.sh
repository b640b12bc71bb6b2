#!/usr/bin/env bash
# Each filter's dialog in the full GIMP 3 on a private Xvfb display: the
# dialog appears (a screenshot of it is kept), Escape cancels it with the
# image unchanged, OK filters with the values shown (for a first use, the
# defaults: the tool's default result), and a run with last values then
# repeats them.
here=$(cd "$(dirname "$0")" && pwd)
. "$here/lib.sh"

make_inputs 61 47
in=$ARTIFACTS/inputs
out=$ARTIFACTS/dialogs
mkdir -p "$out"

exec 5>"$work/display"
Xvfb -displayfd 5 -screen 0 1280x1024x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
started_pids+=($!)
for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.2; done
export DISPLAY=:$(head -n1 "$work/display")

scm=$work/dialog.scm
cat >"$scm" <<'SCM'
(define (corvella-dialog tag in proc)
  (let* ((img (car (gimp-file-load RUN-NONINTERACTIVE in)))
         (layer (vector-ref (car (gimp-image-get-layers img)) 0)))
    (catch #f (proc RUN-INTERACTIVE img (vector layer)))
    (gimp-file-save RUN-NONINTERACTIVE img (string-append tag ".png") -1)
    (gimp-image-delete img)))
(define (corvella-last tag in proc)
  (let* ((img (car (gimp-file-load RUN-NONINTERACTIVE in)))
         (layer (vector-ref (car (gimp-image-get-layers img)) 0)))
    (proc RUN-WITH-LAST-VALS img (vector layer))
    (gimp-file-save RUN-NONINTERACTIVE img (string-append tag ".png") -1)
    (gimp-image-delete img)))
SCM
dialogs=(
  "ostrel|Iterative Refocus"
  "plug-in-vareknoise2-0-64|Varek Noise 2 V 0.64"
  "plug-in-tessaline|Tessaline"
)
for d in "${dialogs[@]}"; do
    proc=${d%%|*}
    for step in cancel ok; do
        echo "(corvella-dialog \"$out/$proc-$step\" \"$in/rgb.png\" $proc)" >>"$scm"
    done
    echo "(corvella-last \"$out/$proc-last\" \"$in/rgb.png\" $proc)" >>"$scm"
done
echo '(gimp-quit TRUE)' >>"$scm"

timeout -k 10 300 gimp-3.0 -i -n --batch-interpreter plug-in-script-fu-eval \
    -b "(load \"$scm\")" >"$work/gimp.log" 2>&1 &
gimp_pid=$!
started_pids+=($gimp_pid)

# wait_window TITLE: the window's id once it is shown, within 60 s.
wait_window() {
    local w
    for _ in $(seq 300); do
        w=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n1) || true
        [ -n "$w" ] && { echo "$w"; return 0; }
        kill -0 "$gimp_pid" 2>/dev/null || return 1
        sleep 0.2
    done
    return 1
}
wait_gone() {
    for _ in $(seq 150); do
        xdotool search --onlyvisible --name "^$1\$" >/dev/null 2>&1 || return 0
        sleep 0.2
    done
    return 1
}

for d in "${dialogs[@]}"; do
    proc=${d%%|*} title=${d#*|}
    for step in cancel ok; do
        if ! w=$(wait_window "$title"); then
            fail "$proc: no dialog \"$title\" ($step)"
            continue
        fi
        sleep 1.5   # drawn, preview rendered
        import -window root "$out/$proc-$step-screen.png"
        # GTK 3 ignores sent events: focus the dialog (there is no window
        # manager) and type for real.  Alt+O is the OK button's mnemonic.
        xdotool windowfocus --sync "$w" 2>/dev/null || true
        if [ $step = cancel ]; then
            xdotool key Escape
        else
            xdotool key alt+o
        fi
        wait_gone "$title" || fail "$proc: dialog still open after $step"
    done
done
wait "$gimp_pid" || true
started_pids=("${started_pids[@]/$gimp_pid}")
cp "$work/gimp.log" "$out/gimp.log"

"$TOOLS/ostrel-refocus" "$in/rgb.ppm" "$work/ostrel.ppm" 2>/dev/null
"$TOOLS/vareknoise2-filter" "$in/rgb.ppm" "$work/plug-in-vareknoise2-0-64.ppm"
"$TOOLS/tessaline-filter" "$in/rgb.ppm" "$work/plug-in-tessaline.ppm"
for d in "${dialogs[@]}"; do
    proc=${d%%|*}
    [ -f "$out/$proc-cancel.png" ] && same_pixels "$in/rgb.png" "$out/$proc-cancel.png" &&
        pass "$proc: cancelled, image unchanged" || fail "$proc: cancel changed the image"
    [ -f "$out/$proc-ok.png" ] && same_pixels "$work/$proc.ppm" "$out/$proc-ok.png" &&
        pass "$proc: OK filters with the values shown" || fail "$proc: OK did not give the default result"
    [ -f "$out/$proc-last.png" ] && same_pixels "$work/$proc.ppm" "$out/$proc-last.png" &&
        pass "$proc: last values repeat the dialog's" || fail "$proc: last values differ from the dialog's"
done
finish
