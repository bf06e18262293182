#!/usr/bin/env python3
"""Draws the program's command icons as SVG files into icons/.

One style for all: a 24x24 grid, 1.5-pixel dark outlines with round ends,
flat fills from one small palette, shapes kept on whole pixels so they stay
legible at 16 pixels. Run from the repository root; the files are committed,
so a build needs no Python.

    python3 scripts/make_icons.py
"""
import os
import sys

INK = "#2e3436"      # outlines
PAPER = "#ffffff"    # sheets, screens
BLUE = "#3465a4"
SKY = "#a9c6e8"
GREEN = "#4e9a06"
RED = "#cc0000"
ORANGE = "#f57900"
YELLOW = "#edd400"
GREY = "#babdb6"


def stroke(w=1.5, color=INK):
    return (f'stroke="{color}" stroke-width="{w}" stroke-linecap="round" '
            f'stroke-linejoin="round"')


def sheet(x=5, y=2.5, w=14, h=19, fill=PAPER):
    fold = 4
    return (f'<path d="M{x} {y}h{w - fold}l{fold} {fold}v{h - fold}h-{w}z" '
            f'fill="{fill}" {stroke()}/>'
            f'<path d="M{x + w - fold} {y}v{fold}h{fold}" fill="none" {stroke()}/>')


def screen(fill=SKY):
    return (f'<rect x="2.5" y="3.5" width="19" height="13" rx="1" fill="{fill}" {stroke()}/>'
            f'<path d="M9 20.5h6M12 16.5v4" fill="none" {stroke()}/>')


def frame_dashed():
    return (f'<rect x="5.5" y="6.5" width="13" height="10" fill="none" '
            f'stroke="{RED}" stroke-width="1.5" stroke-dasharray="2 1.5"/>')


def disk(fill=BLUE):
    return (f'<path d="M3.5 3.5h14l3 3v14h-17z" fill="{fill}" {stroke()}/>'
            f'<rect x="7" y="3.5" width="9" height="6" fill="{PAPER}" {stroke(1)}/>'
            f'<rect x="6.5" y="13.5" width="11" height="7" fill="{PAPER}" {stroke(1)}/>')


def printer():
    return (f'<rect x="6.5" y="2.5" width="11" height="7" fill="{PAPER}" {stroke()}/>'
            f'<rect x="2.5" y="9.5" width="19" height="8" rx="1" fill="{GREY}" {stroke()}/>'
            f'<rect x="6.5" y="14.5" width="11" height="7" fill="{PAPER}" {stroke()}/>')


def arrow(d, color=INK):
    return f'<path d="{d}" fill="none" {stroke(2, color)}/>'


def text(s, x=12, y=17, size=10, color=INK, weight="bold"):
    return (f'<text x="{x}" y="{y}" font-family="DejaVu Sans, sans-serif" '
            f'font-size="{size}" font-weight="{weight}" text-anchor="middle" '
            f'fill="{color}">{s}</text>')


def picture():
    """A small landscape picture, the subject of the edit commands."""
    return (f'<rect x="2.5" y="4.5" width="19" height="15" fill="{SKY}" {stroke()}/>'
            f'<path d="M3 19l6-7 4 4 3-3 5 6z" fill="{GREEN}"/>'
            f'<circle cx="16.5" cy="8.5" r="2" fill="{YELLOW}"/>')


def clock(cx=12, cy=12, r=8.5):
    return (f'<circle cx="{cx}" cy="{cy}" r="{r}" fill="{PAPER}" {stroke()}/>'
            f'<path d="M{cx} {cy - r + 3}v{r - 3}l4 2" fill="none" {stroke()}/>')


def loupe(cx=10, cy=10, r=6, fill=SKY):
    return (f'<circle cx="{cx}" cy="{cy}" r="{r}" fill="{fill}" {stroke()}/>'
            f'<path d="M{cx + r * 0.7 + 0.5} {cy + r * 0.7 + 0.5}l5.5 5.5" fill="none" {stroke(3)}/>')


def envelope(x=2.5, y=5.5, w=19, h=13):
    return (f'<rect x="{x}" y="{y}" width="{w}" height="{h}" fill="{PAPER}" {stroke()}/>'
            f'<path d="M{x} {y}l{w / 2} {h * 0.6}l{w / 2} -{h * 0.6}" fill="none" {stroke()}/>')


def gear():
    teeth = "".join(
        f'<rect x="10.5" y="1.5" width="3" height="5" fill="{GREY}" {stroke(1)} '
        f'transform="rotate({a} 12 12)"/>' for a in range(0, 360, 45))
    return teeth + (f'<circle cx="12" cy="12" r="6.5" fill="{GREY}" {stroke()}/>'
                    f'<circle cx="12" cy="12" r="2.5" fill="{PAPER}" {stroke(1)}/>')


def scissors():
    return (f'<circle cx="7" cy="17" r="3" fill="none" {stroke()}/>'
            f'<circle cx="17" cy="17" r="3" fill="none" {stroke()}/>'
            f'<path d="M9 15L17 3M15 15L7 3" fill="none" {stroke()}/>')


ICONS = {
    # capture and files
    "scan": screen() + frame_dashed(),
    "open": (f'<path d="M2.5 6.5h7l2 2h10v12h-19z" fill="{YELLOW}" {stroke()}/>'
             f'<path d="M2.5 20.5l3-8h18l-2 8z" fill="{ORANGE}" {stroke()}/>'),
    "save": disk(),
    "fastsave": disk() + f'<path d="M14 11l-3 5h3l-2 5 6-7h-3l2-3z" fill="{YELLOW}" {stroke(1)}/>',
    "copy": (sheet(2.5, 2.5, 12, 15) + sheet(9.5, 6.5, 12, 15)),
    "paste": (f'<rect x="3.5" y="4.5" width="14" height="17" rx="1" fill="{ORANGE}" {stroke()}/>'
              f'<rect x="7.5" y="2.5" width="6" height="4" fill="{GREY}" {stroke(1)}/>'
              + sheet(10.5, 9.5, 11, 12)),
    "print": printer(),
    "printpreview": printer() + loupe(16, 15, 3.5, PAPER).replace("l5.5 5.5", "l3 3"),
    "autosave": disk() + clock(17, 17, 5).replace("l4 2", "l2 1"),
    "loupe": loupe(),
    "printscan": printer() + f'<rect x="8.5" y="4" width="7" height="4" fill="none" stroke="{RED}" stroke-width="1" stroke-dasharray="1.5 1"/>',
    "timescan": screen() + clock(16, 14, 5.5).replace("l4 2", "l2 1"),
    "asbitmap": sheet() + text("BMP", 12, 16, 6),
    "avi": (f'<rect x="2.5" y="5.5" width="19" height="13" fill="{INK}" {stroke()}/>'
            + "".join(f'<rect x="{x}" y="7" width="2" height="2" fill="{PAPER}"/>'
                      f'<rect x="{x}" y="15" width="2" height="2" fill="{PAPER}"/>' for x in (4, 8, 12, 16)))
           + f'<path d="M10 10v4l4-2z" fill="{YELLOW}"/>',
    "send": envelope() + arrow("M14 2.5h7.5v0M18 0l3.5 2.5L18 5", GREEN),
    # picture tools
    "mirrorh": (f'<path d="M10.5 5.5v13l-8-6.5z" fill="{SKY}" {stroke()}/>'
                f'<path d="M13.5 5.5v13l8-6.5z" fill="{BLUE}" {stroke()}/>'
                f'<path d="M12 2v20" fill="none" stroke="{RED}" stroke-width="1" stroke-dasharray="2 1"/>'),
    "mirrorv": (f'<path d="M5.5 10.5h13l-6.5-8z" fill="{SKY}" {stroke()}/>'
                f'<path d="M5.5 13.5h13l-6.5 8z" fill="{BLUE}" {stroke()}/>'
                f'<path d="M2 12h20" fill="none" stroke="{RED}" stroke-width="1" stroke-dasharray="2 1"/>'),
    "rotate": (f'<rect x="6.5" y="8.5" width="11" height="11" fill="{SKY}" {stroke()}/>'
               + arrow("M5 6a8 8 0 0 1 13 0") + arrow("M18.5 2.5v4h-4")),
    "invert": (f'<circle cx="12" cy="12" r="9" fill="{PAPER}" {stroke()}/>'
               f'<path d="M12 3a9 9 0 0 1 0 18z" fill="{INK}"/>'),
    "gray": "".join(f'<rect x="{3 + i * 4.5}" y="4.5" width="4.5" height="15" fill="{c}"/>'
                    for i, c in enumerate(("#ffffff", "#babdb6", "#888a85", "#2e3436")))
            + f'<rect x="3" y="4.5" width="18" height="15" fill="none" {stroke()}/>',
    "brighter": (f'<circle cx="12" cy="12" r="4.5" fill="{YELLOW}" {stroke()}/>'
                 + arrow("M12 2v3M12 19v3M2 12h3M19 12h3M5 5l2 2M17 17l2 2M5 19l2-2M17 7l2-2", ORANGE)),
    "darker": (f'<path d="M15 3a9 9 0 1 0 6 13a7 7 0 0 1-6-13z" fill="{INK}" {stroke()}/>'),
    "contrast": (f'<rect x="2.5" y="4.5" width="19" height="15" fill="{PAPER}" {stroke()}/>'
                 f'<path d="M2.5 4.5h19L2.5 19.5z" fill="{INK}"/>'),
    "smooth": (f'<path d="M2 16c4-10 8 4 12-4s6-4 8-4" fill="none" {stroke(2.5, BLUE)}/>'
               f'<path d="M2 20h20" fill="none" {stroke()}/>'),
    "rgb": (f'<circle cx="9" cy="9" r="5.5" fill="{RED}" fill-opacity="0.8" {stroke(1)}/>'
            f'<circle cx="15" cy="9" r="5.5" fill="{GREEN}" fill-opacity="0.8" {stroke(1)}/>'
            f'<circle cx="12" cy="15" r="5.5" fill="{BLUE}" fill-opacity="0.8" {stroke(1)}/>'),
    "scale": (f'<rect x="2.5" y="10.5" width="9" height="9" fill="{SKY}" {stroke()}/>'
              f'<rect x="2.5" y="2.5" width="19" height="17" fill="none" stroke="{INK}" '
              f'stroke-width="1" stroke-dasharray="2 1.5"/>' + arrow("M13 9l6-5M15 4h4v4")),
    "jpgscale": sheet() + text("JPG", 12, 14, 6) + arrow("M8 19h8M14 17l2 2-2 2", BLUE),
    "mark": (f'<path d="M4 20l3-1 11-11-2-2L5 17z" fill="{YELLOW}" {stroke()}/>'
             f'<path d="M3 21.5h18" fill="none" {stroke(3, YELLOW)}/>'),
    "number": (f'<circle cx="12" cy="12" r="9" fill="{RED}" {stroke()}/>' + text("1", 12, 16.5, 12, PAPER)),
    "cutter": scissors(),
    "cutterenter": (f'<rect x="3.5" y="3.5" width="17" height="17" fill="none" stroke="{RED}" '
                    f'stroke-width="1.5" stroke-dasharray="2.5 1.5"/>' + arrow("M8 12l3 3 6-7", GREEN)),
    # sending, options, help, exit
    "word": sheet() + text("W", 12, 17, 10, BLUE),
    "multisend": envelope(2.5, 3.5, 15, 10) + envelope(6.5, 10.5, 15, 10),
    "email": envelope(),
    "settings": gear(),
    "colview": (f'<path d="M13 3l8 8-3 3-8-8z" fill="{GREY}" {stroke()}/>'
                f'<path d="M11 8l-7 7v3h3l7-7" fill="{SKY}" {stroke()}/>'
                f'<path d="M3 21.5h4" fill="none" {stroke(3, RED)}/>'),
    "fileext": sheet() + text(".ext", 12, 16, 6, BLUE),
    "help": (f'<circle cx="12" cy="12" r="9.5" fill="{BLUE}" {stroke()}/>' + text("?", 12, 17, 14, PAPER)),
    "keyboard": (f'<rect x="1.5" y="6.5" width="21" height="12" rx="1.5" fill="{GREY}" {stroke()}/>'
                 + "".join(f'<rect x="{x}" y="{y}" width="2.5" height="2.5" fill="{PAPER}"/>'
                           for y in (8.5, 12) for x in (3.5, 7, 10.5, 14, 17.5))
                 + f'<rect x="7" y="15.5" width="10" height="1.8" fill="{PAPER}"/>'),
    "exit": (f'<path d="M3.5 2.5h10v19h-10z" fill="{GREY}" {stroke()}/>'
             + arrow("M10 12h11M17 8l4 4-4 4", RED)),
    # extras
    "exteditor": picture() + f'<path d="M9 21l2-4 9-9 2 2-9 9z" fill="{ORANGE}" {stroke(1)}/>',
    "exteditorhk": (f'<rect x="1.5" y="12.5" width="12" height="8" rx="1" fill="{GREY}" {stroke()}/>'
                    + text("Ctrl", 7.5, 18.5, 5) + arrow("M12 8h9M17 4l4 4-4 4", BLUE)),
    "script": sheet() + arrow("M8 10l-2 2 2 2M16 10l2 2-2 2M13 9l-2 6", BLUE),
    "split": (sheet(2.5, 2.5, 9, 19) + sheet(12.5, 2.5, 9, 19)),
    "convert": (f'<rect x="2.5" y="2.5" width="9" height="9" fill="{SKY}" {stroke()}/>'
                f'<circle cx="17" cy="17" r="4.5" fill="{ORANGE}" {stroke()}/>'
                + arrow("M14 6h5v5M17 9l2-3 2 3M10 18H5v-5")),
    "extract": (f'<rect x="2.5" y="8.5" width="12" height="12" fill="{GREY}" {stroke()}/>'
                f'<rect x="12.5" y="2.5" width="9" height="9" fill="{YELLOW}" {stroke()}/>'
                + arrow("M8 14l5-5", RED)),
    # view
    "windim": (f'<rect x="2.5" y="2.5" width="19" height="19" fill="{PAPER}" {stroke()}/>'
               + arrow("M6 6l4 4M6 6h3M6 6v3M18 18l-4-4M18 18h-3M18 18v-3", BLUE)),
    "center": (f'<rect x="2.5" y="2.5" width="19" height="19" fill="{PAPER}" {stroke()}/>'
               f'<rect x="7.5" y="7.5" width="9" height="9" fill="{SKY}" {stroke()}/>'),
    "stretch": (f'<rect x="2.5" y="2.5" width="19" height="19" fill="{SKY}" {stroke()}/>'
                + arrow("M6 12h12M6 12l2.5-2.5M6 12l2.5 2.5M18 12l-2.5-2.5M18 12l-2.5 2.5")),
    "focus": (picture() + '<path d="M2 8V3h5M17 3h5v5M22 16v5h-5M7 21H2v-5" fill="none" '
              f'{stroke(2, RED)}/>'),
    "fullscreen": (f'<rect x="2.5" y="3.5" width="19" height="17" fill="{INK}" {stroke()}/>'
                   + arrow("M6 7h4M6 7v3M18 7h-4M18 7v3M6 17h4M6 17v-3M18 17h-4M18 17v-3", PAPER)),
}

# The marker's twelve entries: a pen of the entry's colour over a stroke as
# thick as the entry draws (thin entries half as wide as fat ones).
MARKER_COLOURS = {"red": "#ff0000", "blue": "#0000ff", "black": "#000000",
                  "yellow": "#ffff00", "green": "#008000", "silver": "#c0c0c0"}
for _name, _colour in MARKER_COLOURS.items():
    for _kind, _width in (("thin", 2.5), ("fat", 5)):
        ICONS[f"marker-{_name}-{_kind}"] = (
            f'<path d="M5 16l2-1 10-10-2-2L5 13z" fill="{GREY}" {stroke(1)}/>'
            f'<path d="M4 14l2 2-3 1z" fill="{_colour}" {stroke(1)}/>'
            f'<path d="M3 {21.5 - _width / 2}h18" fill="none" stroke="{INK}" stroke-width="{_width + 1}" '
            f'stroke-linecap="round"/>'
            f'<path d="M3 {21.5 - _width / 2}h18" fill="none" stroke="{_colour}" stroke-width="{_width}" '
            f'stroke-linecap="round"/>')


def main():
    root = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")
    out = os.path.join(root, "icons")
    os.makedirs(out, exist_ok=True)
    for name, body in sorted(ICONS.items()):
        svg = ('<?xml version="1.0" encoding="UTF-8"?>\n'
               '<svg xmlns="http://www.w3.org/2000/svg" width="24" height="24" viewBox="0 0 24 24">\n'
               f'{body}\n</svg>\n')
        with open(os.path.join(out, name + ".svg"), "w", encoding="utf-8") as f:
            f.write(svg)

    print(f"{len(ICONS)} icons written to {os.path.relpath(out)}", file=sys.stderr)


if __name__ == "__main__":
    main()
