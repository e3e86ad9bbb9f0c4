#!/usr/bin/env bash
# ./kob demo: the main job against the simulated box, told as a user sees it.
set -euo pipefail
build=$1
shift
trace=()
for a in "$@"; do
    case $a in
        --trace) trace=(--trace) ;;
        *) echo "usage: ./kob demo [--trace]" >&2; exit 2 ;;
    esac
done

kobsim=$build/sim/kobsim
kobctl=$build/tools/kobctl
work=$(mktemp -d /tmp/kob-demo.XXXXXX)
sim_pid=""
sim1_pid=""
cleanup() {
    [ -n "$sim1_pid" ] && kill "$sim1_pid" 2>/dev/null && wait "$sim1_pid" 2>/dev/null
    [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

# A profile of the demo's own, so the user's settings stay as they are.
export KOBLABVIEW_INI=$work/KobLabVIEW.INI

section() { printf '\n== %s ==\n' "$*"; }

section "Starting the simulated box"
"$kobsim" --model 2 --log "$work/box.log" --handheld 1 --handheld-reading 1:1:-1.2345 >"$work/sim.out" 2>"$work/sim.err" &
sim_pid=$!
for _ in $(seq 50); do
    [ -s "$work/sim.out" ] && break
    sleep 0.1
done
pty=$(head -n 1 "$work/sim.out")
[ -n "$pty" ] || { echo "the simulator did not start" >&2; cat "$work/sim.err" >&2; exit 1; }
echo "A KX7710-3B2 box simulator serves on the pseudo-terminal $pty."
printf '[Settings]\r\nPort=1\r\n[Ports]\r\nCOM1=%s\r\n' "$pty" >"$KOBLABVIEW_INI"
echo "The profile maps COM1 to it (Port=1)."

section "Connecting through the serial line and identifying the box"
"$kobctl" identify --announce 5 "${trace[@]}"

section "The same through the COM server, as LabVIEW or any COM client uses it"
echo "kobctl loads libKobLabVIEW.so, asks DllGetClassObject for \"Kobaltix\" and calls"
echo "IKobaltix::Connect, ::Version and ::CreateScope:"
"$kobctl" identify --com --announce 5 | sed 's/^/  /'

section "What the box received"
sleep 0.2
if [ -s "$work/box.log" ]; then
    sed 's/^/  /' "$work/box.log"
else
    echo "  (no log)"
fi

out=$build/demo
mkdir -p "$out"
section "The oscilloscope: one record of both channels"
echo "The simulated box has a 1 kHz sine of 2 V on input A and a 50 Hz sine of 5 V on B."
echo "kobctl scope goes through IScope (Input, Timing, Trigger, Start, Status, Read):"
"$kobctl" scope --timebase 9 --range-a 5 --range-b 8 --png "$out/scope.png" --csv "$out/scope.csv" | sed 's/^/  /'
echo "  CSV head:"
head -n 4 "$out/scope.csv" | sed 's/^/    /'

section "The multimeter: both channels"
echo "kobctl meter goes through IMeter (Config, Timing, Start, Status, ReadA, ReadB):"
"$kobctl" meter --range-a 5 --range-b 8 | sed 's/^/  /'

section "Evaluating a waveform formula"
echo "The generators play formulas in X; one period of SIN(X)+0.3*SIN(3*X) at 8 points"
echo "(index, X, value):"
"$kobctl" formula "sin(x)+0.3*sin(3*x)" --points 8 | sed 's/^/  /'

section "The closed loop: the function generator played into the oscilloscope"
echo "The box's generator output is wired to input A. kobctl funcgen goes through IFuncGen"
echo "(Formula, Amplitude, OutRange, Frequency, Waveform, Enable): the formula's table of"
echo "8192 samples, at 1 kHz, half of the 10 V range:"
"$kobctl" funcgen --formula "SIN(X)+0.3*SIN(3*X)" --freq 1000 --amplitude 50 --range 0 --on |
    sed 's/^/  /'
echo "Two periods recorded on input A (0.2 ms/div):"
"$kobctl" scope --timebase 7 --range-a 5 --range-b 8 --png "$out/funcgen.png" \
    --csv "$out/funcgen.csv" | sed 's/^/  /'
"$kobctl" funcgen --off >/dev/null
section "The three-phase generator"
echo "kobctl power goes through IPowerSupply; phase 1 is wired to input B while it is on:"
"$kobctl" power --freq 50 --amplitudes 80,80,80 --phases 120,240 --waveform sine --on --json |
    sed 's/^/  /'
"$kobctl" power --off >/dev/null

section "The same frequency on a KX7710-3B"
"$kobsim" --model 1 >"$work/sim1.out" 2>"$work/sim1.err" &
sim1_pid=$!
for _ in $(seq 50); do
    [ -s "$work/sim1.out" ] && break
    sleep 0.1
done
pty1=$(head -n 1 "$work/sim1.out")
echo "A second simulator, of the older model, on $pty1. Its generator takes timing divisors;"
echo "kobctl funcgen tells which it chose and the frequency they give:"
"$kobctl" funcgen --device "$pty1" --freq 1000 --json | sed 's/^/  /'
"$kobctl" funcgen --device "$pty1" --freq 440 | sed 's/^/  /'
kill "$sim1_pid" 2>/dev/null && wait "$sim1_pid" 2>/dev/null || true
sim1_pid=""

section "The digital port: outputs wired back to the inputs"
echo "kobctl digio goes through IDigIO (Out, then In):"
"$kobctl" digio --out 0x5A3C | sed 's/^/  /'

section "The logic analyser: a pattern played onto the outputs and recorded"
# A counter on the low byte and a walking bit on the high byte.
for i in $(seq 0 63); do printf '%d\n' $(( i | (1 << (8 + i % 8)) )); done >"$work/pattern.txt"
echo "kobctl analyser goes through IDigIO (Pattern, Timing, Trigger, Start, Status, Read);"
echo "the record starts where the low byte first reads 8:"
"$kobctl" analyser --count 48 --trigger 0x00FF:0x0008 --pattern "$work/pattern.txt" \
    --png "$out/analyser.png" --csv "$out/analyser.csv" | sed 's/^/  /'
echo "  The timing diagram is in $out/analyser.png, the samples in $out/analyser.csv."

section "The relay board"
echo "kobctl relays goes through IRelays (Set, then Status):"
"$kobctl" relays --set 0xA5 | sed 's/^/  /'

section "The hand-held meter on the pass-through port"
echo "The simulated box has a family-1 meter showing -1.2345 V DC; kobctl handheld"
echo "announces it (instrument type 8) and reads one record:"
"$kobctl" handheld --format 1 | sed 's/^/  /'

section "The instrument windows: the digital I/O panel, clicked"
echo "kobpanel opens the windows as the host application's menu does (command ids"
echo "10000 + type), lets the worker thread refresh them, and draws them off-screen."
echo "A click on output bit 3 puts 0x0008 on the wire; the worker reads it back"
echo "through the loop and input lamp 3 lights:"
kobpanel=$build/tools/kobpanel/kobpanel
"$kobpanel" --device "$pty" --open 14 --open 11 --click 325,196 --png "$out/panel.png" \
    --save "$work/demo.kws" | sed 's/^/  /'
echo "  The pictures are $out/panel-11.png and $out/panel-14.png; the workspace"
echo "  reopens the same windows with --load."
"$kobpanel" --device "$pty" --load "$work/demo.kws" --png "$out/workspace.png" | sed 's/^/  /'

section "The instrument windows in a closed loop: generator, scope, meter, three-phase"
echo "On the training board the function generator drives input A while it is on,"
echo "the three-phase generator input B. One kobpanel opens the oscilloscope (1 ms/div,"
echo "1 V/div, triggered on A) and the function generator, which its clicks set to a"
echo "1 kHz sine of 3 V and switch on: the scope shows ten periods."
clicks() { # X,Y N: N clicks at one point
    for _ in $(seq "$2"); do printf -- '--click %s ' "$1"; done
}
# shellcheck disable=SC2046 # the clicks are words on purpose
"$kobpanel" --device "$pty" --open 51 $(clicks 684,40 9) $(clicks 554,96 3) \
    --click 595,274 --click 300,200 \
    --open 31 --click 285,109 $(clicks 285,84 9) $(clicks 192,186 3) --click 396,24 \
    --wait 1500 --png "$out/loop.png" --export "$out/scope.csv" --export "$out/scope.svg" \
    | sed 's/^/  /'
echo "The voltmeter on input A (range stepped down to 5 V) beside the DC source set"
echo "to 30 % of 10 V and switched on:"
# shellcheck disable=SC2046
"$kobpanel" --device "$pty" --open 61 $(clicks 266,128 3) \
    --open 35 $(clicks 192,148 3) --click 396,24 --wait 2500 --png "$out/meter.png" \
    | sed 's/^/  /'
echo "The three-phase generator at 5 Hz, 80 % on each phase, switched on:"
# shellcheck disable=SC2046
"$kobpanel" --device "$pty" --open 48 $(clicks 280,124 8) $(clicks 280,156 8) \
    $(clicks 280,188 8) $(clicks 250,52 4) --click 514,236 --wait 1000 \
    --png "$out/three-phase.png" | sed 's/^/  /'
echo "  Every window type opens the same way: kobpanel --list names them."
