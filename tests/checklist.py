"""The tally of the repository's Python checks: each check prints "ok" or "FAIL" with what it
checks, and the run ends with the line "N passed, N failed"."""


class Checks:
    def __init__(self):
        self.passed = 0
        self.failed = 0

    def check(self, what, ok, detail=""):
        if ok:
            self.passed += 1
            print(f"ok   {what}")
        else:
            self.failed += 1
            print(f"FAIL {what}{': ' + detail if detail else ''}")
        return ok

    def summary(self):
        """Prints the last line and gives the exit code: 1 when anything failed."""
        print(f"{self.passed} passed, {self.failed} failed")
        return 1 if self.failed else 0
