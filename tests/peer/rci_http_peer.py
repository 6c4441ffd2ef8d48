"""An RCI service in the manner of the LAN module, built on Python's http.server.

Listens on 127.0.0.1 on a free port, prints that port on one line, then answers
POST /UE/rci carrying Basic authorization for root:wqzk with a chunked reply that
echoes the request body and states the three pins. Anything else gets 401.
"""
import base64
import sys
from http.server import BaseHTTPRequestHandler, HTTPServer

EXPECTED = "Basic " + base64.b64encode(b"root:wqzk").decode()
PINS = b"<pin1>asserted</pin1><pin2>unasserted</pin2><pin3>asserted</pin3>"


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def fields(self):
        # The client's second head line has no field name; the parser then keeps
        # the lines after it as payload instead of fields, so read them from there.
        found = {name.lower(): value for name, value in self.headers.items()}
        payload = self.headers.get_payload()
        if isinstance(payload, str):
            for line in payload.splitlines():
                name, colon, value = line.partition(":")
                if colon:
                    found.setdefault(name.strip().lower(), value.strip())
        return found

    def do_POST(self):
        fields = self.fields()
        body = self.rfile.read(int(fields.get("content-length", "0")))
        if self.path != "/UE/rci" or fields.get("authorization") != EXPECTED:
            content = b"<unauthorized/>"
            self.send_response(401)
            self.send_header("Content-Length", str(len(content)))
            self.end_headers()
            self.wfile.write(content)
            return
        reply = b"<rci_reply><echo>" + body + b"</echo>" + PINS + b"</rci_reply>"
        self.send_response(200)
        self.send_header("Content-Type", "text/xml")
        self.send_header("Transfer-Encoding", "chunked")
        self.end_headers()
        for piece in (reply[:7], reply[7:600], reply[600:]):
            if piece:
                self.wfile.write(b"%x\r\n%s\r\n" % (len(piece), piece))
        self.wfile.write(b"0\r\n\r\n")

    def log_message(self, *args):
        pass


server = HTTPServer(("127.0.0.1", 0), Handler)
print(server.server_address[1], flush=True)
server.serve_forever()
