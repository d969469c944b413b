"""Prints what Python's mailbox and email packages read from a Maildir, one
line per field with the bytes in hex, so the C++ test can compare them."""
import email.header
import email.utils
import mailbox
import sys


def header_bytes(value):
    if value is None:
        return b""
    return b"".join(part if isinstance(part, bytes) else part.encode("ascii")
                    for part, _ in email.header.decode_header(value))


def main(folder):
    box = mailbox.Maildir(folder, factory=None, create=False)
    for key in sorted(box.keys()):
        message = box.get_message(key)
        print("message", message.get_subdir(), message.get_flags() or "-")
        print("subject", header_bytes(message["Subject"]).hex())
        sender = header_bytes(message["From"]).decode("latin-1")
        print("from", email.utils.parseaddr(sender)[0].encode("latin-1").hex())
        body = b""
        files = []
        for part in message.walk():
            if part.is_multipart():
                continue
            name = part.get_filename()
            if name is None and not body:
                body = part.get_payload(decode=True) or b""
            elif name is not None:
                files.append((name.encode("latin-1"), part.get_payload(decode=True)))
        print("body", body.hex())
        for name, data in files:
            print("file", name.hex(), data.hex())


main(sys.argv[1])
