"""A loopback SMTP server for the log e-mail tests (Debian's python3-aiosmtpd).

Usage: /usr/bin/python3 smtp_server.py OUTDIR [--mode MODE] [--user U] [--password P] [--tls CERT KEY]

Listens on 127.0.0.1 at a port the system picks and prints "PORT <n>" once it
accepts connections. Every accepted message becomes OUTDIR/msg-<n>.json (written
whole, then renamed into place) with the envelope, the session's login and TLS
state, and the message taken apart by Python's own e-mail parser. The server
ends when its standard input closes, so it never outlives the test.

Modes: ok (AUTH LOGIN/PLAIN offered, the given user and password accepted),
deny-auth (every login answered 535), reject-rcpt (RCPT answered 550),
reject-mail (MAIL answered 550), noauth (no AUTH offered at all).
With --tls the server offers STARTTLS with that certificate; AUTH is then
offered only inside TLS.
"""

import argparse
import asyncio
import base64
import email
import email.policy
import json
import os
import ssl
import logging
import sys

from aiosmtpd.smtp import SMTP, AuthResult, LoginPassword

# aiosmtpd 1.4 logs a warning about its own use of a deprecated field at each login.
logging.getLogger("mail.log").setLevel(logging.ERROR)


class Handler:
    def __init__(self, outdir, mode):
        self.outdir = outdir
        self.mode = mode
        self.count = 0

    async def handle_MAIL(self, server, session, envelope, address, mail_options):
        if self.mode == "reject-mail":
            return "550 5.7.1 sender refused"
        envelope.mail_from = address
        envelope.mail_options.extend(mail_options)
        return "250 OK"

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        if self.mode == "reject-rcpt":
            return "550 5.1.1 no such mailbox"
        envelope.rcpt_tos.append(address)
        return "250 OK"

    async def handle_DATA(self, server, session, envelope):
        self.count += 1
        raw = envelope.original_content or envelope.content
        msg = email.message_from_bytes(raw, policy=email.policy.compat32)
        texts, attachments = [], []
        for part in msg.walk():
            if part.is_multipart():
                continue
            payload = part.get_payload(decode=True) or b""
            entry = {
                "content_type": part.get("Content-Type", ""),
                "encoding": part.get("Content-Transfer-Encoding", ""),
                "disposition": part.get("Content-Disposition", ""),
                "filename": part.get_filename() or "",
                "data_b64": base64.b64encode(payload).decode("ascii"),
            }
            (attachments if part.get_filename() else texts).append(entry)
        auth = session.auth_data
        record = {
            "mail_from": envelope.mail_from,
            "rcpt_tos": envelope.rcpt_tos,
            "login": auth.login.decode("utf-8", "replace") if isinstance(auth, LoginPassword) else "",
            "password": auth.password.decode("utf-8", "replace") if isinstance(auth, LoginPassword) else "",
            "tls": session.ssl is not None,
            "subject": msg.get("Subject", ""),
            "from": msg.get("From", ""),
            "to": msg.get("To", ""),
            "date": msg.get("Date", ""),
            "content_type": msg.get("Content-Type", ""),
            "texts": texts,
            "attachments": attachments,
            "raw_b64": base64.b64encode(raw).decode("ascii"),
        }
        path = os.path.join(self.outdir, "msg-%d.json" % self.count)
        with open(path + ".tmp", "w") as f:
            json.dump(record, f)
        os.rename(path + ".tmp", path)
        return "250 Message accepted"


def make_authenticator(mode, user, password):
    def authenticate(server, session, envelope, mechanism, auth_data):
        ok = (mode != "deny-auth" and isinstance(auth_data, LoginPassword)
              and auth_data.login == user.encode() and auth_data.password == password.encode())
        return AuthResult(success=ok, handled=False, auth_data=auth_data)
    return authenticate


async def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("outdir")
    ap.add_argument("--mode", default="ok",
                    choices=["ok", "deny-auth", "reject-rcpt", "reject-mail", "noauth"])
    ap.add_argument("--user", default="")
    ap.add_argument("--password", default="")
    ap.add_argument("--tls", nargs=2, metavar=("CERT", "KEY"))
    args = ap.parse_args()

    tls = None
    if args.tls:
        tls = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
        tls.load_cert_chain(args.tls[0], args.tls[1])

    handler = Handler(args.outdir, args.mode)
    loop = asyncio.get_running_loop()
    kwargs = {}
    if args.mode != "noauth":
        kwargs["authenticator"] = make_authenticator(args.mode, args.user, args.password)
        # Without TLS a site relay may still ask for a login; with TLS it asks only inside it.
        kwargs["auth_require_tls"] = tls is not None
    server = await loop.create_server(
        lambda: SMTP(handler, hostname="test.localhost", tls_context=tls, loop=loop, **kwargs),
        "127.0.0.1", 0)
    print("PORT %d" % server.sockets[0].getsockname()[1], flush=True)

    done = loop.create_future()
    loop.add_reader(sys.stdin.fileno(), lambda: sys.stdin.buffer.read1(4096) or (
        done.done() or done.set_result(None)))
    await done
    server.close()


if __name__ == "__main__":
    asyncio.run(main())
