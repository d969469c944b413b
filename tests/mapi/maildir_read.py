"""Prints what Python's mailbox and email packages read from a Maildir, one
line per field with the bytes in hex, so the C++ test can compare them.
Headers are read as a mail program reads them today (policy default); any
defect in an address or date header is printed as a "defect" line."""
import email
import email.policy
import mailbox
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
from postoffice_check import defects  # noqa: E402  (the post office's own validity rules)


def main(folder):
    box = mailbox.Maildir(folder, factory=None, create=False)
    for key in sorted(box.keys()):
        message = email.message_from_bytes(box.get_bytes(key), policy=email.policy.default)
        stored = box.get_message(key)
        print("message", stored.get_subdir(), stored.get_flags() or "-")
        for defect in defects(message):
            print("defect", defect)
        print("subject", str(message["Subject"] or "").encode().hex())
        print("from", message["From"].addresses[0].display_name.encode().hex())
        body = b""
        files = []
        for part in message.walk():
            if part.is_multipart():
                continue
            name = part.get_filename()
            if name is None and not body:
                body = part.get_payload(decode=True) or b""
            elif name is not None:
                files.append((name.encode(), part.get_payload(decode=True), part.get_content_charset()))
        print("body", body.hex())
        for name, data, charset in files:
            print("file", name.hex(), data.hex(), charset or "-")


main(sys.argv[1])
