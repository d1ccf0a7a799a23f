"""The bridge to LibreOffice: a private headless office, started once, that opens workbooks as
a user's program would, types nights into them and prints them (as PDF and, when pdftoppm is
there, PNG). Needs LibreOffice's Python bridge (Debian: libreoffice-calc-nogui, python3-uno; run
with the system's /usr/bin/python3)."""

import contextlib
import os
import pathlib
import shutil
import subprocess
import tempfile
import time

import uno  # the LibreOffice bridge
from com.sun.star.beans import PropertyValue

from .layout import FIRST


def prop(name, value):
    p = PropertyValue()
    p.Name = name
    p.Value = value
    return p


def hm(text):
    """"23:30" as a fraction of a day."""
    h, m = text.split(":")
    return (int(h) * 60 + int(m)) / 1440.0


class Office:
    def __init__(self):
        self.profile = tempfile.mkdtemp()
        self.pipe = f"aqtpl{os.getpid()}"
        self.proc = subprocess.Popen(
            ["soffice", "--headless", "--invisible", "--norestore", "--nologo",
             f"-env:UserInstallation=file://{self.profile}",
             f"--accept=pipe,name={self.pipe};urp;StarOffice.ComponentContext"],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        local = uno.getComponentContext()
        resolver = local.ServiceManager.createInstanceWithContext("com.sun.star.bridge.UnoUrlResolver", local)
        deadline = time.time() + 300  # a busy machine can take minutes to start the office
        while True:
            try:
                ctx = resolver.resolve(f"uno:pipe,name={self.pipe};urp;StarOffice.ComponentContext")
                break
            except Exception:  # not listening yet
                if time.time() > deadline:
                    raise
                time.sleep(0.5)
        self.desktop = ctx.ServiceManager.createInstanceWithContext("com.sun.star.frame.Desktop", ctx)

    def open(self, path):
        return self.desktop.loadComponentFromURL(uno.systemPathToFileUrl(str(path)), "_blank", 0,
                                                 (prop("Hidden", True),))

    @contextlib.contextmanager
    def opened(self, path):
        """The document at path, open while the block runs and closed unsaved after it."""
        doc = self.open(path)
        try:
            yield doc
        finally:
            doc.close(True)

    @staticmethod
    def store(doc, path, filter_name):
        """Saves doc at path through one of the office's export filters ("MS Excel 97", "calc_pdf_Export")."""
        doc.storeToURL(uno.systemPathToFileUrl(str(path)), (prop("FilterName", filter_name), prop("Overwrite", True)))

    def close(self):
        try:
            self.desktop.terminate()
        except Exception:  # the bridge goes down with the office
            pass
        try:
            self.proc.wait(timeout=30)
        except subprocess.TimeoutExpired:
            self.proc.kill()
        shutil.rmtree(self.profile, ignore_errors=True)


def fill(sheet, lay, nights):
    for day, entries in nights.items():
        n = FIRST + day - 1
        for key, v in entries.items():
            c = sheet.getCellRangeByName(f"{lay.letter(key)}{n}")
            if isinstance(v, str) and ":" in v:
                c.setValue(hm(v))
            elif isinstance(v, str):
                c.setString(v)
            else:
                c.setValue(v)


def export(doc, pictures, stem):
    if not pictures:
        return
    pdf = pathlib.Path(pictures) / f"{stem}.pdf"
    Office.store(doc, pdf, "calc_pdf_Export")
    if shutil.which("pdftoppm"):
        subprocess.run(["pdftoppm", "-png", "-r", "100", "-singlefile", str(pdf), str(pdf.with_suffix(""))],
                       check=True)
