"""The with-block and garbage-collection behaviour shared by everything in
the package that holds library memory and has a close()."""


class Closing:
    """Closes on leaving a with block and when garbage collected.  A close()
    raised during interpreter shutdown, when the library may already be
    gone, is ignored."""

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def __del__(self):
        try:
            self.close()
        except Exception:
            pass
