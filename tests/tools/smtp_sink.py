"""A local SMTP server for the mail tests.

Usage: smtp_sink.py PORT OUTFILE [accept|reject-rcpt|raw|starttls CERT KEY]
Listens on 127.0.0.1:PORT, prints "ready" when it accepts connections and
runs until its standard input closes. Every mail it takes is appended to
OUTFILE as one JSON line: the client's greeting name, the envelope and the
parsed message (headers decoded, text body, attachments in base64). "raw"
keeps only the last message's bytes in OUTFILE.
"""
import base64
import email
import email.header
import email.policy
import json
import sys

from aiosmtpd.controller import Controller


class Handler:
    def __init__(self, out, mode):
        self.out = out
        self.mode = mode

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        if self.mode == "reject-rcpt":
            return "550 5.1.1 Mailbox unknown"
        envelope.rcpt_tos.append(address)
        return "250 OK"

    async def handle_DATA(self, server, session, envelope):
        raw = envelope.original_content or envelope.content
        if self.mode == "raw":
            # Benchmarks: the last message as it came, nothing parsed.
            with open(self.out, "wb") as f:
                f.write(raw)
            return "250 Message accepted"
        msg = email.message_from_bytes(raw, policy=email.policy.default)
        record = {
            "greeting": session.host_name,
            "mail_from": envelope.mail_from,
            "rcpt_tos": envelope.rcpt_tos,
            "headers": {k: str(v) for k, v in msg.items()},
            "body": "",
            "attachments": [],
        }
        for part in msg.walk():
            if part.is_multipart():
                continue
            name = part.get_filename()
            if name:
                record["attachments"].append(
                    {"name": name, "data": base64.b64encode(part.get_payload(decode=True)).decode()})
            elif part.get_content_type() == "text/plain":
                record["body"] = part.get_content()
        with open(self.out, "a", encoding="utf-8") as f:
            f.write(json.dumps(record) + "\n")
        return "250 Message accepted"


def main():
    port = int(sys.argv[1])
    out = sys.argv[2]
    mode = sys.argv[3] if len(sys.argv) > 3 else "accept"
    extra = {}
    if mode == "starttls":
        import ssl
        context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
        context.load_cert_chain(sys.argv[4], sys.argv[5])
        extra = {"tls_context": context, "require_starttls": True}
    controller = Controller(Handler(out, mode), hostname="127.0.0.1", port=port,
                            data_size_limit=64 * 1024 * 1024, **extra)
    controller.start()
    print("ready", flush=True)
    sys.stdin.read()
    controller.stop()


if __name__ == "__main__":
    main()
