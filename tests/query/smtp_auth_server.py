#!/usr/bin/python3
"""A private aiosmtpd with TLS and one user, for the mail tests.

smtp_auth_server.py HOST PORT MAILDIR CERT KEY USER PASSWORD MODE
MODE: starttls (plain first, STARTTLS offered, AUTH only after it) or
implicit (TLS from the first byte). Messages go into MAILDIR. Runs until
SIGTERM.
"""
import signal
import ssl
import sys
import threading

from aiosmtpd.controller import Controller
from aiosmtpd.handlers import Mailbox
from aiosmtpd.smtp import AuthResult, LoginPassword


def main():
    host, port, maildir, cert, key, user, password, mode = sys.argv[1:9]
    context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
    context.load_cert_chain(cert, key)

    def authenticate(server, session, envelope, mechanism, auth_data):
        ok = (isinstance(auth_data, LoginPassword)
              and auth_data.login == user.encode()
              and auth_data.password == password.encode())
        return AuthResult(success=ok, handled=False)

    # aiosmtpd counts only STARTTLS as TLS for auth_require_tls: with TLS
    # from the first byte the connection is secure all the same.
    options = dict(hostname=host, port=int(port), authenticator=authenticate,
                   auth_require_tls=mode != "implicit", auth_required=True)
    if mode == "implicit":
        options["ssl_context"] = context
    else:
        options["tls_context"] = context
        options["require_starttls"] = False
    controller = Controller(Mailbox(maildir), **options)
    controller.start()
    stop = threading.Event()
    signal.signal(signal.SIGTERM, lambda *_: stop.set())
    print("ready", flush=True)
    stop.wait()
    controller.stop()


if __name__ == "__main__":
    main()
