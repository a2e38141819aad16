#!/usr/bin/env python3
"""Writes one section-3 manual page per exported function of kovrad.h,
compressed as Debian installs them (NAME.3.gz), and pages.txt listing them.

Each page holds the function's declaration and the comment above it (a
comment shared by consecutive declarations goes on each of their pages), the
header's general notes in brief, and where to read more.

usage: header_man_pages.py HEADER OUTPUT_DIR VERSION
"""
import gzip
import pathlib
import re
import sys

DECLARATION = re.compile(
    r"KOVRAD_API\s+(?P<result>[^;]*?)\s*KOVRAD_CALL\s+(?P<name>\w+)\s*\((?P<args>[^)]*)\);",
    re.S)
COMMENT = re.compile(r"/\*(?P<text>.*?)\*/", re.S)


def comment_text(raw):
    lines = [re.sub(r"^\s*\*? ?", "", line) for line in raw.splitlines()]
    return " ".join(line.strip() for line in lines if line.strip())


def roff(text):
    text = text.replace("\\", "\\e")
    # A line that starts with a dot or a quote would be read as a request.
    return re.sub(r"^([.'])", r"\\&\1", text, flags=re.M)


def functions(header):
    """(name, declaration, description) of every export, in header order."""
    found = []
    description = ""
    position = 0
    for match in DECLARATION.finditer(header):
        between = header[position:match.start()]
        comments = list(COMMENT.finditer(between))
        # The comment right above a declaration (only blank space between)
        # describes it; a declaration right after another keeps its comment.
        if comments and not between[comments[-1].end():].strip():
            description = comment_text(comments[-1].group("text"))
        elif between.strip():
            description = ""
        args = " ".join(match.group("args").split())
        declaration = f"{match.group('result')} {match.group('name')}({args});"
        found.append((match.group("name"), declaration, description))
        position = match.end()
    return found


def page(name, declaration, description, version, others):
    see_also = ", ".join(f"\\fB{other}\\fP(3)" for other in others[:6])
    return f""".TH {name} 3 "2026" "kovrad {version}" "Library Functions Manual"
.SH NAME
{name} \\- a function of the SAT fiscal device library
.SH SYNOPSIS
.nf
.B #include <kovrad.h>
.sp
.B {roff(declaration)}
.fi
.sp
Link with \\fI-lkovrad\\fP (\\fBpkg-config --libs kovrad\\fP).
.SH DESCRIPTION
{roff(description) if description else "See the notes of kovrad.h."}
.PP
A returned text lives in a library buffer until the same thread calls into
the library again: copy what you keep, free nothing. Calls from several
threads take turns. The outcome of the link is in \\fBCodigoErro\\fP(3);
field 2 of a reply line is the device's result code.
.SH FILES
.I /usr/include/kovrad.h
(the integrator's notes at its head),
.I /usr/share/doc/libkovrad-dev/functions.md
(every function with its arguments and reply fields).
.SH SEE ALSO
{see_also}
"""


def main():
    header_path, out_dir, version = sys.argv[1], pathlib.Path(sys.argv[2]), sys.argv[3]
    header = pathlib.Path(header_path).read_text(encoding="latin-1")
    found = functions(header)
    if not found:
        sys.exit(f"{header_path}: no exported function found")
    out_dir.mkdir(parents=True, exist_ok=True)
    names = [name for name, _, _ in found]
    for name, declaration, description in found:
        others = [n for n in names if n != name and n in ("CodigoErro", "GeraNumeroSessao",
                                                          "AbreSerialSAT", "ConsultarSAT",
                                                          "EnviarDadosVenda",
                                                          "ConsultarNumeroSessao")]
        text = page(name, declaration, description, version, others)
        # No name or time stamp in the gzip header, so builds are reproducible.
        with open(out_dir / f"{name}.3.gz", "wb") as raw:
            with gzip.GzipFile(filename="", mode="wb", fileobj=raw, mtime=0) as page_file:
                page_file.write(text.encode("utf-8"))
    (out_dir / "pages.txt").write_text("\n".join(names) + "\n", encoding="utf-8")


if __name__ == "__main__":
    main()
