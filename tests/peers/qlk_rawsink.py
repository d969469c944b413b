"""aiosmtpd handler for the integration tests: keeps each message's bytes
exactly as they arrived (after the SMTP dot transparency is undone, line ends
kept) as DIR/new/N.eml, and its envelope as DIR/new/N.env."""
import itertools
import os


class RawSink:
    _numbers = itertools.count(1)

    def __init__(self, directory):
        self.directory = directory
        for sub in ("tmp", "new"):
            os.makedirs(os.path.join(directory, sub), exist_ok=True)

    @classmethod
    def from_cli(cls, parser, *args):
        if len(args) != 1:
            parser.error("RawSink needs one argument: the folder")
        return cls(args[0])

    async def handle_DATA(self, server, session, envelope):
        number = next(self._numbers)
        self._store("%06d.env" % number, self.envelope_text(session, envelope).encode())
        # The .eml last: its arrival in new/ says the message is complete.
        self._store("%06d.eml" % number, envelope.original_content)
        return "250 OK"

    def envelope_text(self, session, envelope):
        text = "MAIL FROM:%s\n" % envelope.mail_from
        return text + "".join("RCPT TO:%s\n" % rcpt for rcpt in envelope.rcpt_tos)

    def _store(self, name, data):
        temporary = os.path.join(self.directory, "tmp", name)
        with open(temporary, "wb") as out:
            out.write(data)
        os.rename(temporary, os.path.join(self.directory, "new", name))
