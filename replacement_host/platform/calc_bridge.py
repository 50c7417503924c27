# The bridge between the host's automation platform and LibreOffice Calc:
# started by the host with the instance folder as its argument, it starts a
# headless soffice whose profile lies in that folder (the folder's name is
# the mark by which a left-over instance is found), connects to it through
# UNO and answers one request a line on standard input, one reply a line on
# standard output. Fields are separated by tabs; a backslash escapes a tab
# (\t), a line break (\n, \r) or itself.
#
#   open PATH                 ok FULLNAME SHEET...   workbook opened read-only and hidden
#   text BOOK SHEET REF       ok TEXT                the displayed text of a range
#   quit                      ok                     closes everything and ends
#
# BOOK counts from 1 in the order of opening, SHEET from 1 in workbook order.
# A request that fails gives "err MESSAGE"; "gone MESSAGE" means LibreOffice
# has stopped and the bridge ends. At start the bridge writes "ready PID" with
# soffice's process id, or "fail MESSAGE". End of input is a quit.
import ctypes
import os
import signal
import subprocess
import sys
import time

SOFFICE_RESTART = 81  # a new profile was made: start again


def escape(text):
    return text.replace("\\", "\\\\").replace("\t", "\\t").replace("\n", "\\n").replace("\r", "\\r")


def unescape(text):
    out, i = [], 0
    while i < len(text):
        c = text[i]
        if c == "\\" and i + 1 < len(text):
            out.append({"t": "\t", "n": "\n", "r": "\r"}.get(text[i + 1], text[i + 1]))
            i += 2
        else:
            out.append(c)
            i += 1
    return "".join(out)


def reply(*fields):
    sys.stdout.write("\t".join(escape(str(f)) for f in fields) + "\n")
    sys.stdout.flush()


def die_with_parent():
    # soffice ends with the bridge, whatever ends the bridge.
    libc = ctypes.CDLL(None, use_errno=True)
    libc.prctl(1, signal.SIGKILL)  # PR_SET_PDEATHSIG


class Gone(Exception):
    pass


class Calc:
    def __init__(self, folder, soffice):
        import uno
        from com.sun.star.connection import NoConnectException

        self.uno = uno
        self.folder = folder
        self.pipe = os.path.basename(folder)
        self.soffice = soffice
        self.books = []
        self.process = None
        self.process = self.start()
        local = uno.getComponentContext()
        resolver = local.ServiceManager.createInstanceWithContext("com.sun.star.bridge.UnoUrlResolver", local)
        while True:
            try:
                context = resolver.resolve("uno:pipe,name=%s;urp;StarOffice.ComponentContext" % self.pipe)
                break
            except NoConnectException:
                code = self.process.poll()
                if code == SOFFICE_RESTART:
                    self.process = self.start()
                elif code is not None:
                    raise Gone("LibreOffice ended while starting (exit status %d)" % code)
                time.sleep(0.05)
        self.desktop = context.ServiceManager.createInstanceWithContext("com.sun.star.frame.Desktop", context)

    def start(self):
        env = dict(os.environ, LC_ALL="C.UTF-8", SAL_USE_VCLPLUGIN="svp")
        profile = self.uno.systemPathToFileUrl(os.path.join(self.folder, "profile"))
        return subprocess.Popen(
            [self.soffice, "--headless", "--invisible", "--nologo", "--norestore", "--nodefault",
             "--nolockcheck", "--nofirststartwizard", "-env:UserInstallation=" + profile,
             "--accept=pipe,name=%s;urp;" % self.pipe],
            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
            env=env, preexec_fn=die_with_parent)

    def alive(self):
        return self.process is not None and self.process.poll() is None

    def stopped(self, error):
        # The connection may break a moment before the process is seen to end.
        if "disposed" in error.lower() and self.alive():
            try:
                self.process.wait(2)
            except subprocess.TimeoutExpired:
                pass
        if self.alive():
            return None
        code = self.process.returncode
        how = "killed by signal %d" % -code if code < 0 else "exit status %d" % code
        return "LibreOffice stopped (%s): %s" % (how, error)

    def property(self, name, value):
        from com.sun.star.beans import PropertyValue

        p = PropertyValue()
        p.Name, p.Value = name, value
        return p

    def open(self, path):
        full = os.path.abspath(path)
        if not os.path.isfile(full):
            raise ValueError("'%s' could not be found" % full)
        args = [self.property("Hidden", True), self.property("ReadOnly", True),
                self.property("MacroExecutionMode", 0), self.property("UpdateDocMode", 0)]
        if full.lower().endswith((".csv", ".txt")):
            # Comma-separated, double quotes, UTF-8, from the first line, US English.
            args += [self.property("FilterName", "Text - txt - csv (StarCalc)"),
                     self.property("FilterOptions", "44,34,76,1,,1033")]
        try:
            doc = self.desktop.loadComponentFromURL(self.uno.systemPathToFileUrl(full), "_blank", 0, tuple(args))
        except Exception as e:
            if "disposed" in str(getattr(e, "Message", "")).lower():
                raise
            doc = None
        if doc is None:
            raise ValueError("'%s' is corrupt or not a workbook LibreOffice can open" % full)
        if not doc.supportsService("com.sun.star.sheet.SpreadsheetDocument"):
            doc.close(True)
            raise ValueError("'%s' is not a workbook" % full)
        sheets = doc.Sheets
        names = [sheets.getByIndex(i).Name for i in range(sheets.Count)]
        self.books.append((doc, [sheets.getByIndex(i) for i in range(sheets.Count)]))
        return [full] + names

    def text(self, book, sheet, ref):
        sheets = self.books[int(book) - 1][1]
        index = int(sheet) - 1
        target = sheets[index]
        try:
            cells = target.getCellRangeByName(ref)  # a cell, a rectangle or a name
        except Exception as e:
            if "disposed" in str(getattr(e, "Message", "")).lower():
                raise
            raise ValueError("sheet '%s': '%s' is neither a cell reference nor a name of a range on this sheet"
                             % (target.Name, ref))
        address = cells.getRangeAddress()
        if address.Sheet != index:
            raise ValueError("'%s' refers to a range on another sheet" % ref)
        rows, columns = address.EndRow - address.StartRow + 1, address.EndColumn - address.StartColumn + 1
        if rows * columns == 1:
            return cells.getCellByPosition(0, 0).getString()
        # Several cells show a text only when all show the same.
        texts = set()
        for r in range(min(rows, 1000)):
            for c in range(min(columns, 100)):
                texts.add(cells.getCellByPosition(c, r).getString())
                if len(texts) > 1:
                    return ""
        return texts.pop() if rows <= 1000 and columns <= 100 else ""

    def quit(self):
        for doc, _ in self.books:
            try:
                doc.close(True)
            except Exception:
                pass
        self.books = []
        try:
            self.desktop.terminate()
        except Exception:
            pass
        self.end()

    def end(self):
        if self.process is None:
            return
        try:
            self.process.wait(5)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()


def main():
    folder, soffice = sys.argv[1], sys.argv[2]
    try:
        import uno  # noqa: F401
    except ImportError:
        reply("fail", "python3-uno is not installed, so LibreOffice cannot be driven")
        return
    try:
        calc = Calc(folder, soffice)
    except Gone as e:
        reply("fail", str(e))
        return
    except Exception as e:
        reply("fail", "LibreOffice did not start: %s" % e)
        return
    reply("ready", calc.process.pid)
    for line in sys.stdin:
        fields = [unescape(f) for f in line.rstrip("\n").split("\t")]
        verb = fields[0]
        try:
            if verb == "open" and len(fields) == 2:
                reply("ok", *calc.open(fields[1]))
            elif verb == "text" and len(fields) == 4:
                reply("ok", calc.text(*fields[1:]))
            elif verb == "quit":
                calc.quit()
                reply("ok")
                return
            else:
                reply("err", "unknown request '%s'" % verb)
        except Exception as e:
            message = getattr(e, "Message", "") or str(e) or type(e).__name__
            message = message.split(" at ./")[0]  # where in LibreOffice's source it was raised
            gone = calc.stopped(message)
            if gone:
                reply("gone", gone)
                calc.end()
                return
            reply("err", message.splitlines()[0] if message else type(e).__name__)
    calc.quit()


if __name__ == "__main__":
    main()
