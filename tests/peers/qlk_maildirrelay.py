"""aiosmtpd handler for the round-trip tests: a relay that delivers every
message into one Maildir (a Dovecot account's, owned by that account), keeps
a copy of each message and its envelope in DIR/sent/, and refuses for good
every recipient whose address begins "refused"."""
import itertools
import os
import socket
import time


class MaildirRelay:
    _numbers = itertools.count(1)

    def __init__(self, directory, maildir):
        self.sent = os.path.join(directory, "sent")
        self.maildir = maildir
        os.makedirs(self.sent, exist_ok=True)

    @classmethod
    def from_cli(cls, parser, *args):
        if len(args) != 2:
            parser.error("MaildirRelay needs two arguments: the folder and the Maildir")
        return cls(*args)

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        if address.lower().startswith("refused"):
            return "550 5.1.1 <%s>: mailbox unavailable" % address
        envelope.rcpt_tos.append(address)
        return "250 OK"

    async def handle_DATA(self, server, session, envelope):
        number = next(self._numbers)
        data = envelope.original_content
        envelope_text = "MAIL FROM:%s\n" % envelope.mail_from
        envelope_text += "".join("RCPT TO:%s\n" % rcpt for rcpt in envelope.rcpt_tos)
        self._write(os.path.join(self.sent, ".%06d.env" % number),
                    os.path.join(self.sent, "%06d.env" % number), envelope_text.encode())
        self._write(os.path.join(self.sent, ".%06d.eml" % number),
                    os.path.join(self.sent, "%06d.eml" % number), data)
        name = "%d.M%dP%d.%s" % (int(time.time()), number, os.getpid(), socket.gethostname())
        temporary = os.path.join(self.maildir, "tmp", name)
        self._write(temporary, os.path.join(self.maildir, "new", name), data, os.stat(self.maildir))
        return "250 OK"

    @staticmethod
    def _write(temporary, final, data, owner=None):
        with open(temporary, "wb") as out:
            out.write(data)
        if owner is not None:
            os.chown(temporary, owner.st_uid, owner.st_gid)
        os.rename(temporary, final)
