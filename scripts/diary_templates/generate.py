"""Writes the sources of the two sleep-diary templates as flat OpenDocument spreadsheets.

    python3 -m scripts.diary_templates.generate            writes templates/src/Dozeboardt1.fods and ...t3.fods
    python3 -m scripts.diary_templates.generate --check    exits 1 when a committed source differs from what
                                                           it writes (no file is changed)
"""

import argparse
import pathlib
import sys

from .fods import document

ROOT = pathlib.Path(__file__).resolve().parents[2]
SOURCE_DIR = ROOT / "templates" / "src"


def sources():
    return {
        "Dozeboardt1.fods": document(1),
        "Dozeboardt3.fods": document(3),
    }


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--check", action="store_true", help="compare with the committed sources only")
    args = parser.parse_args()
    stale = []
    for name, text in sources().items():
        path = SOURCE_DIR / name
        if args.check:
            if not path.exists() or path.read_text(encoding="utf-8") != text:
                stale.append(name)
            continue
        SOURCE_DIR.mkdir(parents=True, exist_ok=True)
        path.write_text(text, encoding="utf-8", newline="\n")
        print(f"wrote {path.relative_to(ROOT)}")
    if stale:
        print("out of date: " + ", ".join(stale), file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
