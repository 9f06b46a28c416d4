#!/usr/bin/env python3
"""Composes the program's own music and encodes it as constant-bitrate MP3.

"Until The Dub" is an original dub loop written for this program: a one-drop
drum pattern, a sub bass line, off-beat "skank" chords and a melodica-like
lead, with a dotted-eighth ping-pong echo on the skank, the rim shot and the
lead. Everything is synthesised here from sine waves and noise with the
Python standard library, so the track carries no one else's rights.

    tools/compose_track.py                 # writes assets/Until The Dub.mp3
    tools/compose_track.py --fixture OUT   # a 2-second phrase for the tests

The noise is seeded, so the same script gives the same audio every time.
Encoding needs `lame` on the PATH.
"""

import argparse
import array
import math
import os
import random
import shutil
import subprocess
import sys
import tempfile
import wave

RATE_HZ = 44100
PEAK_LEVEL = 0.89  # about -1 dBFS
MP3_KBPS = 128
NOISE_SEED = 1979
DC_CUTOFF_HZ = 20.0
TWO_PI = 2.0 * math.pi

# A minor: the bar's chord root (MIDI note of the bass) and skank voicing.
CHORDS = {
    "Am": (33, (57, 60, 64)),
    "Dm": (38, (57, 62, 65)),
    "Em": (40, (59, 64, 67)),
    "G": (31, (55, 59, 62)),
}
PROGRESSION = ("Am", "Am", "Dm", "Em")
# Bass per bar on the eighth-note grid: (start, length, semitones above root).
BASS_PATTERN = ((0, 3, 0), (3, 1, 0), (4, 2, 7), (6, 1, 10), (7, 1, 12))
# Lead melody over eight bars: (bar, start eighth, length in eighths, MIDI).
LEAD = (
    (0, 0, 3, 69), (0, 4, 2, 72), (0, 6, 2, 74),
    (1, 0, 6, 76),
    (2, 0, 2, 74), (2, 2, 2, 72), (2, 4, 4, 69),
    (3, 2, 6, 71),
    (4, 0, 3, 69), (4, 4, 2, 72), (4, 6, 2, 76),
    (5, 0, 4, 79), (5, 4, 4, 76),
    (6, 0, 2, 74), (6, 2, 2, 72), (6, 4, 4, 71),
    (7, 0, 8, 69),
)


def midi_hz(note):
    return 440.0 * 2.0 ** ((note - 69) / 12.0)


class Mix:
    """Stereo sample buffers: a dry bus and a send to the echo."""

    def __init__(self, seconds):
        count = int(seconds * RATE_HZ)
        self.left = array.array("d", bytes(8 * count))
        self.right = array.array("d", bytes(8 * count))
        self.send = array.array("d", bytes(8 * count))

    def add(self, start_s, samples, gain, pan=0.0, send=0.0):
        first = int(start_s * RATE_HZ)
        left_gain = gain * (1.0 - max(pan, 0.0))
        right_gain = gain * (1.0 + min(pan, 0.0))
        end = min(len(self.left), first + len(samples))
        for i in range(first, end):
            value = samples[i - first]
            self.left[i] += value * left_gain
            self.right[i] += value * right_gain
            self.send[i] += value * gain * send


def envelope(count, attack_s, release_s):
    attack = max(1, int(attack_s * RATE_HZ))
    release = max(1, int(release_s * RATE_HZ))
    return [min(1.0, i / attack, (count - i) / release) for i in range(count)]


def kick(_rng):
    count = int(0.35 * RATE_HZ)
    phase, out = 0.0, []
    for i in range(count):
        t = i / RATE_HZ
        phase += TWO_PI * (45.0 + 75.0 * math.exp(-t * 30.0)) / RATE_HZ
        out.append(math.sin(phase) * math.exp(-t * 9.0))
    return out


def rim(rng):
    count = int(0.12 * RATE_HZ)
    return [(0.6 * (rng.random() * 2.0 - 1.0) + math.sin(TWO_PI * 820.0 * i / RATE_HZ))
            * math.exp(-i / RATE_HZ * 45.0) for i in range(count)]


def hat(rng, open_hat=False):
    count = int((0.18 if open_hat else 0.04) * RATE_HZ)
    decay = 18.0 if open_hat else 90.0
    previous, out = 0.0, []
    for i in range(count):
        noise = rng.random() * 2.0 - 1.0
        out.append((noise - previous) * math.exp(-i / RATE_HZ * decay))
        previous = noise
    return out


def bass(note, seconds):
    hz = midi_hz(note)
    count = int(seconds * RATE_HZ)
    env = envelope(count, 0.006, 0.05)
    step = TWO_PI * hz / RATE_HZ
    return [math.tanh(1.6 * (math.sin(step * i) + 0.25 * math.sin(2 * step * i))) * env[i]
            for i in range(count)]


def skank(notes):
    count = int(0.16 * RATE_HZ)
    out = [0.0] * count
    for note in notes:
        step = TWO_PI * midi_hz(note) / RATE_HZ
        for i in range(count):
            t = i / RATE_HZ
            value = sum(math.sin(k * step * i) / k for k in (1, 2, 3, 4, 5))
            out[i] += value * math.exp(-t * 22.0) * min(1.0, t / 0.003)
    smoothed, previous = [], 0.0
    for value in out:  # one-pole low-pass takes the edge off the saw
        previous += 0.35 * (value - previous)
        smoothed.append(previous)
    return smoothed


def lead(note, seconds):
    count = int(seconds * RATE_HZ)
    env = envelope(count, 0.03, 0.12)
    hz, phase, out = midi_hz(note), 0.0, []
    for i in range(count):
        vibrato = 1.0 + 0.006 * math.sin(TWO_PI * 5.5 * i / RATE_HZ)
        phase += TWO_PI * hz * vibrato / RATE_HZ
        out.append((math.sin(phase) + 0.35 * math.sin(2 * phase) + 0.15 * math.sin(3 * phase)) * env[i])
    return out


class Arranger:
    """Places the parts bar by bar on a Mix."""

    def __init__(self, mix, tempo_bpm, rng):
        self.mix = mix
        self.eighth_s = 30.0 / tempo_bpm
        self.bar_s = 8 * self.eighth_s
        self.rng = rng
        self.kick = kick(rng)

    def at(self, bar, eighth):
        return bar * self.bar_s + eighth * self.eighth_s

    def drums(self, bar, with_kick=True):
        if with_kick:
            self.mix.add(self.at(bar, 4), self.kick, 0.9)
        self.mix.add(self.at(bar, 4), rim(self.rng), 0.22, pan=0.2, send=0.5)
        for eighth in range(8):
            open_hat = eighth == 7 and bar % 2 == 1
            self.mix.add(self.at(bar, eighth), hat(self.rng, open_hat), 0.12 if eighth % 2 else 0.07, pan=-0.35)

    def bass(self, bar, chord):
        root = CHORDS[chord][0]
        for start, length, offset in BASS_PATTERN:
            self.mix.add(self.at(bar, start), bass(root + offset, length * self.eighth_s * 0.92), 0.5)

    def skank(self, bar, chord, send):
        voicing = skank(CHORDS[chord][1])
        for eighth in (2, 6):
            self.mix.add(self.at(bar, eighth), voicing, 0.16, pan=0.3, send=send)

    def lead(self, first_bar):
        for bar, start, length, note in LEAD:
            self.mix.add(self.at(first_bar + bar, start), lead(note, length * self.eighth_s), 0.11,
                         pan=-0.15, send=0.35)


def echo(mix, delay_s, feedback):
    """Ping-pong echo of the send bus with a darkening loop, added to the dry bus."""
    delay = int(delay_s * RATE_HZ)
    wet_left = array.array("d", bytes(8 * len(mix.send)))
    wet_right = array.array("d", bytes(8 * len(mix.send)))
    tone = 0.0
    for i in range(delay, len(mix.send)):
        tone += 0.45 * (mix.send[i - delay] + feedback * wet_right[i - delay] - tone)
        wet_left[i] = tone
        wet_right[i] = feedback * wet_left[i - delay]
        mix.left[i] += wet_left[i]
        mix.right[i] += wet_right[i]


def compose_track(rng):
    """24 bars at 75 BPM (76.8 s): intro, verse, lead, dub break, out."""
    tempo = 75
    arranger = Arranger(Mix(24 * 8 * 30.0 / tempo), tempo, rng)
    for bar in range(24):
        chord = PROGRESSION[bar % 4]
        breakdown = 16 <= bar < 20
        arranger.drums(bar, with_kick=not breakdown or bar == 19)
        if not breakdown or bar % 2 == 1:
            arranger.bass(bar, chord)
        if bar >= 2:
            arranger.skank(bar, chord, send=0.9 if breakdown else 0.35)
    arranger.lead(8)
    echo(arranger.mix, 3 * arranger.eighth_s / 2, 0.5)
    return arranger.mix


def compose_fixture(rng):
    """One bar at 120 BPM (2 s): drums, bass and skank."""
    tempo = 120
    arranger = Arranger(Mix(8 * 30.0 / tempo), tempo, rng)
    arranger.drums(0)
    arranger.bass(0, "Am")
    arranger.skank(0, "Am", send=0.4)
    echo(arranger.mix, 3 * arranger.eighth_s / 2, 0.4)
    return arranger.mix


def remove_dc(samples):
    """One-pole high-pass near 20 Hz: the saturated bass is not symmetric."""
    pole = 1.0 - TWO_PI * DC_CUTOFF_HZ / RATE_HZ
    previous_in = previous_out = 0.0
    for i, value in enumerate(samples):
        previous_out = value - previous_in + pole * previous_out
        previous_in = value
        samples[i] = previous_out


def write_wav(mix, path):
    remove_dc(mix.left)
    remove_dc(mix.right)
    peak = max(max(map(abs, mix.left)), max(map(abs, mix.right)), 1e-9)
    scale = PEAK_LEVEL * 32767.0 / peak
    frames = array.array("h")
    for left, right in zip(mix.left, mix.right):
        frames.append(int(round(left * scale)))
        frames.append(int(round(right * scale)))
    if sys.byteorder == "big":
        frames.byteswap()
    with wave.open(path, "wb") as out:
        out.setnchannels(2)
        out.setsampwidth(2)
        out.setframerate(RATE_HZ)
        out.writeframes(frames.tobytes())


def encode_mp3(wav_path, mp3_path):
    if shutil.which("lame") is None:
        sys.exit("compose_track: lame is needed to encode the MP3")
    subprocess.run(["lame", "--quiet", "--cbr", "-b", str(MP3_KBPS), "-q", "2", "--add-id3v2",
                    "--tt", "Until The Dub", "--ta", "Vantrel Credits", "--tc", "Original, royalty-free",
                    wav_path, mp3_path], check=True)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--fixture", metavar="OUT", help="write the 2-second test phrase to OUT instead")
    args = parser.parse_args()
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    target = args.fixture or os.path.join(root, "assets", "Until The Dub.mp3")
    rng = random.Random(NOISE_SEED)
    mix = compose_fixture(rng) if args.fixture else compose_track(rng)
    with tempfile.TemporaryDirectory() as work:
        wav_path = os.path.join(work, "track.wav")
        write_wav(mix, wav_path)
        encode_mp3(wav_path, target)
    print(f"wrote {target}")


if __name__ == "__main__":
    main()
