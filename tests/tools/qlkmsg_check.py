#!/usr/bin/env python3
"""Checks `qlkmsg show --json` against Python's own MIME parser.

Every sample in tests/data must give one JSON object with the fields operators
read; its subject and addresses must read as Python reads them, and every leaf
part of the MIME tree but the body must appear in qlkmsg's list, in order,
with the same bytes (SHA-256) and, where the part names a file, the same name.
A decoder that loses, alters or misnames a part fails here. The plain-text
listing must not fail either.
"""
import email
import email.policy
import hashlib
import json
import pathlib
import subprocess
import sys

FIELDS = {"file", "sender", "recipients", "subject", "contentType", "charset",
          "encoding", "priority", "body", "attachments"}


def leaves(part):
    """Leaf parts in document order; a message/rfc822 part is one leaf."""
    if part.get_content_type() == "message/rfc822" or not part.is_multipart():
        yield part
        return
    for sub in part.get_payload():
        yield from leaves(sub)


def body_part(message):
    """The first leaf down the first parts, when it is text meant for reading."""
    part = message
    while part.is_multipart() and part.get_content_type() != "message/rfc822":
        part = part.get_payload()[0]
    if not part.get_content_type().startswith("text/") or part.is_multipart():
        return None
    if part.get_filename() or part.get_content_disposition() == "attachment":
        return None
    return part


def digest(part):
    if part.get_content_type() == "message/rfc822":
        return None  # Python re-serialises the message; only the name counts
    payload = part.get_payload(decode=True) or b""
    if part.get("Content-Transfer-Encoding", "").strip().lower() == "quoted-printable":
        # quoted-printable line breaks are CR LF in canonical form; Python
        # gives the local LF.
        payload = payload.replace(b"\r\n", b"\n").replace(b"\n", b"\r\n")
    return hashlib.sha256(payload).hexdigest()


def readable(text):
    return text is not None and "\ufffd" not in text and not any(0xDC80 <= ord(c) <= 0xDCFF for c in text)


def compare_addresses(sample, label, python_header, ours):
    python_addresses = list(python_header.addresses) if python_header is not None else []
    problems = 0
    if [a.addr_spec for a in python_addresses] != [o["address"] for o in ours]:
        print(f"{sample.name}: {label}: qlkmsg {[o['address'] for o in ours]} "
              f"python {[a.addr_spec for a in python_addresses]}")
        return 1
    for python_address, our in zip(python_addresses, ours):
        if python_address.display_name and python_address.display_name != our["name"]:
            print(f"{sample.name}: {label} name: qlkmsg {our['name']!r} python {python_address.display_name!r}")
            problems += 1
    return problems


def compare(sample, report):
    problems = 0
    message = email.message_from_bytes(sample.read_bytes(), policy=email.policy.default)
    subject = message["subject"]
    if readable(subject) and subject is not None and str(subject) != report["subject"]:
        print(f"{sample.name}: subject: qlkmsg {report['subject']!r} python {str(subject)!r}")
        problems += 1
    problems += compare_addresses(sample, "from", message["from"], [report["sender"]])
    for label in ("to", "cc"):
        problems += compare_addresses(sample, label, message[label], report["recipients"][label])
    if "MIME-Version" not in message:
        return problems  # plain text with uuencoded files: Python sees one text part
    body = body_part(message)
    expected = [part for part in leaves(message) if part is not body]
    ours = report["attachments"]
    if len(expected) != len(ours):
        print(f"{sample.name}: {len(ours)} attachments, python finds {len(expected)} parts besides the body")
        return problems + 1
    for part, our in zip(expected, ours):
        name = part.get_filename()
        if name and name != our["name"] and not bounded(name, our["name"]):
            print(f"{sample.name}: part name: qlkmsg {our['name']!r} python {name!r}")
            problems += 1
        wanted = digest(part)
        if wanted and wanted != our["sha256"]:
            print(f"{sample.name}: part {our['name']!r}: qlkmsg {our['sha256']} python {wanted}")
            problems += 1
    return problems


def main(qlkmsg, data_dir):
    samples = sorted(pathlib.Path(data_dir).glob("*.eml"))
    if not samples:
        print("no samples in", data_dir)
        return 1
    failures = 0
    for sample in samples:
        for args in (["show", str(sample)], ["show", "--json", str(sample)]):
            run = subprocess.run([qlkmsg, *args], capture_output=True, timeout=60)
            if run.returncode != 0:
                print(f"{sample.name}: qlkmsg {' '.join(args[:-1])} exited {run.returncode}")
                failures += 1
        report = json.loads(run.stdout.decode("utf-8").strip())
        missing = FIELDS - report.keys()
        if missing:
            print(f"{sample.name}: fields missing: {sorted(missing)}")
            failures += 1
            continue
        failures += compare(sample, report)
    print(f"{len(samples)} samples checked, {failures} problems")
    return 1 if failures else 0


def bounded(name, ours):
    """A name too long for a file keeps 255 bytes: the start of its stem and its type."""
    stem, dot, extension = name.rpartition(".")
    return (len(name.encode()) > 255 and len(ours.encode()) <= 255 and ours.endswith(dot + extension)
            and stem.startswith(ours[:len(ours) - len(dot + extension)]))


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], sys.argv[2]))
