# A private FTP server for the tests: pyftpdlib on 127.0.0.1 (or the address
# given third, such as ::1), any free port (printed on the first line of
# stdout), serving one folder to the user "bob" (password "secret") and to
# anonymous users. With a certificate and key file (fourth and fifth) it
# takes AUTH TLS, and requires it when the sixth is "required".
import logging
import warnings
import sys

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer

warnings.simplefilter("ignore")
root = sys.argv[1]
port = int(sys.argv[2]) if len(sys.argv) > 2 else 0
host = sys.argv[3] if len(sys.argv) > 3 else "127.0.0.1"
authorizer = DummyAuthorizer()
authorizer.add_user("bob", "secret", root, perm="elradfmwMT")
authorizer.add_anonymous(root, perm="elradfmw")
handler = FTPHandler
if len(sys.argv) > 5:
    from pyftpdlib.handlers import TLS_FTPHandler
    handler = TLS_FTPHandler
    handler.certfile = sys.argv[4]
    handler.keyfile = sys.argv[5]
    required = len(sys.argv) > 6 and sys.argv[6] == "required"
    handler.tls_control_required = required
    handler.tls_data_required = required
handler.authorizer = authorizer
logging.basicConfig(level=logging.CRITICAL)
server = FTPServer((host, port), handler)
print(server.socket.getsockname()[1], flush=True)
server.serve_forever()
