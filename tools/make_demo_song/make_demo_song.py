#!/usr/bin/env python3
"""Writes assets/demo.mid, the project's own demo tune (about a minute).

Six tracks on six channels: piano chords, finger bass, a flute melody that
hands over to an alto sax, a string pad, a guitar arpeggio and drums on
channel 10. The tempo rises from 100 to 112 for the second section and
slows for the last bar. Standard library only:

    python3 tools/make_demo_song/make_demo_song.py [--ports 8] [OUTPUT]

With --ports 8 (assets/eight_ports.mid) the same tune is spread over eight
MIDI ports, one track on each: an organ doubling the chords and a choir
doubling the melody join the six, and every track names its port, so a
player needs one instrument per port.
"""
import os
import struct
import sys

TPQ = 480  # ticks per quarter note
BAR = 4 * TPQ

NOTE_NAMES = {"C": 0, "D": 2, "E": 4, "F": 5, "G": 7, "A": 9, "B": 11}


def note(name):
    """'A4' -> 69, 'C#5' -> 73, 'Bb3' -> 58."""
    pitch = NOTE_NAMES[name[0]]
    rest = name[1:]
    if rest.startswith("#"):
        pitch, rest = pitch + 1, rest[1:]
    elif rest.startswith("b"):
        pitch, rest = pitch - 1, rest[1:]
    return 12 * (int(rest) + 1) + pitch


def var_len(value):
    out = [value & 0x7F]
    value >>= 7
    while value:
        out.append(0x80 | (value & 0x7F))
        value >>= 7
    return bytes(reversed(out))


class Track:
    def __init__(self, name):
        self.events = []  # (tick, order, bytes); order keeps note-offs before note-ons
        self.meta(0, 0x03, name.encode("ascii"))

    def add(self, tick, data, order=1):
        self.events.append((tick, order, len(self.events), bytes(data)))

    def meta(self, tick, kind, payload):
        self.add(tick, bytes([0xFF, kind]) + var_len(len(payload)) + payload, order=0)

    def note(self, tick, channel, key, length, velocity):
        self.add(tick, [0x90 | channel, key, velocity])
        self.add(tick + length, [0x80 | channel, key, 0], order=0)

    def control(self, tick, channel, number, value):
        self.add(tick, [0xB0 | channel, number, value])

    def program(self, tick, channel, number):
        self.add(tick, [0xC0 | channel, number])

    def encode(self):
        body = bytearray()
        last = 0
        for tick, _, _, data in sorted(self.events):
            body += var_len(tick - last) + data
            last = tick
        body += var_len(0) + b"\xff\x2f\x00"
        return b"MTrk" + struct.pack(">I", len(body)) + bytes(body)


# The harmony, one chord per bar: root for the bass, three tones for the pads.
SECTION_A = ["Am", "F", "C", "G", "Am", "F", "Dm", "E"]
SECTION_B = ["F", "G", "Am", "Am", "F", "G", "C", "E", "F", "G", "Am", "Am"]
CHORDS = {
    "Am": ["A3", "C4", "E4"], "F": ["F3", "A3", "C4"], "C": ["C4", "E4", "G4"],
    "G": ["G3", "B3", "D4"], "Dm": ["D4", "F4", "A4"], "E": ["E3", "G#3", "B3"],
}
ROOTS = {"Am": "A2", "F": "F2", "C": "C3", "G": "G2", "Dm": "D3", "E": "E2"}

# Melodies as (note or None for a rest, length in quarter notes), bar by bar.
MELODY_A = [
    [("A4", 1), ("C5", 1), ("E5", 2)],
    [("F5", 1.5), ("E5", 0.5), ("D5", 1), ("C5", 1)],
    [("E5", 2), ("G5", 1), ("E5", 1)],
    [("D5", 3), (None, 1)],
    [("A4", 1), ("C5", 1), ("E5", 1), ("A5", 1)],
    [("G5", 1.5), ("F5", 0.5), ("E5", 1), ("C5", 1)],
    [("D5", 1), ("F5", 1), ("A5", 1), ("F5", 1)],
    [("E5", 2), ("G#4", 1), ("B4", 1)],
]
MELODY_B = [
    [("C5", 0.5), ("A4", 0.5), ("C5", 1), ("F5", 2)],
    [("D5", 0.5), ("B4", 0.5), ("D5", 1), ("G5", 2)],
    [("E5", 1), ("A5", 1), ("G5", 1), ("E5", 1)],
    [("A5", 3), (None, 1)],
    [("F5", 1), ("A5", 1), ("C6", 1), ("A5", 1)],
    [("B5", 1.5), ("A5", 0.5), ("G5", 1), ("D5", 1)],
    [("E5", 1), ("G5", 1), ("C6", 1), ("G5", 1)],
    [("B5", 2), ("G#5", 1), ("E5", 1)],
    [("A5", 1), ("C6", 1), ("A5", 1), ("F5", 1)],
    [("G5", 1), ("B5", 1), ("D6", 1), ("B5", 1)],
    [("C6", 1.5), ("B5", 0.5), ("A5", 1), ("E5", 1)],
    [("A5", 4)],
]

PIANO, BASS, LEAD, STRINGS, GUITAR, DRUMS = 0, 1, 2, 3, 4, 9


def write_melody(track, start_bar, bars, velocity):
    for index, bar in enumerate(bars):
        tick = (start_bar + index) * BAR
        for position, (name, beats) in enumerate(bar):
            length = int(beats * TPQ)
            if name is not None:
                accent = 8 if position == 0 else 0
                track.note(tick, LEAD, note(name), length - 20, velocity + accent)
            tick += length


def make_song():
    progression = SECTION_A + SECTION_A + SECTION_B
    section_b = len(SECTION_A) * 2
    last_bar = len(progression)

    conductor = Track("Tavren demo")
    conductor.meta(0, 0x58, bytes([4, 2, 24, 8]))           # 4/4
    conductor.meta(0, 0x59, bytes([0, 1]))                  # A minor
    conductor.meta(0, 0x51, (600000).to_bytes(3, "big"))    # 100 bpm
    conductor.meta(section_b * BAR, 0x51, (535714).to_bytes(3, "big"))  # 112 bpm
    conductor.meta((last_bar - 1) * BAR, 0x51, (652174).to_bytes(3, "big"))  # 92 bpm, the close
    conductor.add(0, b"\xf0" + var_len(5) + bytes([0x7E, 0x7F, 0x09, 0x01, 0xF7]))  # GM system on

    piano = Track("Piano")
    bass = Track("Bass")
    lead = Track("Melody")
    strings = Track("Strings")
    guitar = Track("Guitar")
    drums = Track("Drums")

    setup = [(piano, PIANO, 0, 92, 56), (bass, BASS, 33, 104, 64), (lead, LEAD, 73, 100, 70),
             (strings, STRINGS, 48, 78, 84), (guitar, GUITAR, 25, 80, 40), (drums, DRUMS, 0, 100, 64)]
    for track, channel, program, volume, pan in setup:
        track.program(10, channel, program)
        track.control(10, channel, 7, volume)
        track.control(10, channel, 10, pan)
        track.control(10, channel, 91, 40)

    for bar, chord in enumerate(progression):
        tick = bar * BAR
        tones = [note(n) for n in CHORDS[chord]]
        root = note(ROOTS[chord])
        # Piano: a chord on one, a lighter one on the "and" of two, with the pedal.
        piano.control(tick, PIANO, 64, 127)
        for key in tones:
            piano.note(tick, PIANO, key + 12, TPQ * 2 - 30, 78)
            piano.note(tick + TPQ * 5 // 2, PIANO, key + 12, TPQ * 3 // 2 - 30, 62)
        piano.control(tick + BAR - 15, PIANO, 64, 0)
        # Bass: root in eighths, the fifth for variety on the last beat.
        for eighth in range(8):
            key = root + (7 if eighth == 6 else 0) + (12 if eighth == 3 else 0)
            bass.note(tick + eighth * TPQ // 2, BASS, key, TPQ // 2 - 40, 96 if eighth % 2 == 0 else 76)
        # Strings from the second pass on, swelling through each bar.
        if bar >= 4:
            for key in tones:
                strings.note(tick, STRINGS, key + 12, BAR - 10, 70)
            for step, value in enumerate((70, 90, 110, 96)):
                strings.control(tick + step * TPQ, STRINGS, 11, value)
        # Guitar arpeggio in the second section.
        if bar >= section_b:
            pattern = [0, 1, 2, 1, 2, 0, 1, 2]
            for eighth, which in enumerate(pattern):
                guitar.note(tick + eighth * TPQ // 2, GUITAR, tones[which] + 12, TPQ // 2, 70)

    write_melody(lead, 0, MELODY_A, 84)
    write_melody(lead, len(MELODY_A), MELODY_A, 88)
    lead.program(section_b * BAR - 5, LEAD, 65)  # the alto sax takes over
    lead.control(section_b * BAR - 5, LEAD, 7, 92)
    write_melody(lead, section_b, MELODY_B, 90)
    # A touch of vibrato on the long last note, and a small scoop into it.
    lead.control((last_bar - 1) * BAR + TPQ, LEAD, 1, 60)
    lead.add((last_bar - 1) * BAR - 10, [0xE0 | LEAD, 0x00, 0x38])
    lead.add((last_bar - 1) * BAR + 60, [0xE0 | LEAD, 0x00, 0x40])

    write_drums(drums, last_bar, section_b)
    return [conductor, piano, bass, lead, strings, guitar, drums]


def spread_over_ports(tracks):
    """Adds an organ and a choir, and puts each instrument track on a port of its own."""
    conductor, piano, bass, lead, strings, guitar, drums = tracks
    organ, choir = Track("Organ"), Track("Choir")
    organ.program(10, 0, 19)
    choir.program(10, 0, 52)
    for track in (organ, choir):
        track.control(10, 0, 7, 70)
    for tick, _, _, data in piano.events:
        if data[0] & 0xF0 in (0x80, 0x90):
            organ.add(tick, [data[0] & 0xF0, data[1] - 12, data[2]], order=0 if data[0] & 0xF0 == 0x80 else 1)
    for tick, _, _, data in lead.events:
        if data[0] & 0xF0 in (0x80, 0x90):
            choir.add(tick, [data[0] & 0xF0, data[1] - 12, data[2] * 3 // 4], order=0 if data[0] & 0xF0 == 0x80 else 1)
    voices = [piano, bass, lead, strings, guitar, drums, organ, choir]
    for port, track in enumerate(voices):
        track.meta(0, 0x21, bytes([port]))
    return [conductor] + voices


def write_drums(track, bars, section_b):
    kick, snare, closed_hat, open_hat, crash, ride = 36, 38, 42, 46, 49, 51
    toms = [50, 48, 45, 43]
    for bar in range(bars):
        tick = bar * BAR
        if bar in (0, 8, section_b):
            track.note(tick, DRUMS, crash, TPQ, 110)
        if bar == bars - 1:
            track.note(tick, DRUMS, kick, TPQ, 120)
            track.note(tick, DRUMS, crash, TPQ, 120)
            continue
        fill = bar in (section_b - 1, bars - 2)
        for eighth in range(8):
            at = tick + eighth * TPQ // 2
            if fill and eighth >= 4:
                track.note(at, DRUMS, toms[eighth - 4], TPQ // 2, 100 + 4 * (eighth - 4))
                continue
            if eighth in (0, 5) or (bar >= section_b and eighth == 3):
                track.note(at, DRUMS, kick, TPQ // 2, 112)
            if eighth in (2, 6):
                track.note(at, DRUMS, snare, TPQ // 2, 104)
            cymbal = ride if bar >= section_b else (open_hat if eighth == 7 else closed_hat)
            track.note(at, DRUMS, cymbal, TPQ // 2, 84 if eighth % 2 == 0 else 64)


def main():
    root = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
    args = sys.argv[1:]
    ports = 1
    if args[:1] == ["--ports"]:
        if len(args) < 2 or args[1] not in ("1", "8"):
            sys.exit("make_demo_song: --ports takes 1 or 8")
        ports, args = int(args[1]), args[2:]
    default = "demo.mid" if ports == 1 else "eight_ports.mid"
    output = args[0] if args else os.path.join(root, "assets", default)
    tracks = make_song()
    if ports == 8:
        tracks = spread_over_ports(tracks)
    data = b"MThd" + struct.pack(">IHHH", 6, 1, len(tracks), TPQ) + b"".join(t.encode() for t in tracks)
    os.makedirs(os.path.dirname(output), exist_ok=True)
    with open(output, "wb") as file:
        file.write(data)
    print(f"wrote {output} ({len(data)} bytes, {len(tracks)} tracks)")


if __name__ == "__main__":
    main()
