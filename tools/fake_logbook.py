#!/usr/bin/env python3
"""A test logbook service: HTTPS on 127.0.0.1 that answers like the QRZ Logbook API.

Standard library only, plus the openssl command for the throwaway certificates.

    fake_logbook.py --state-dir DIR [--daemon] [--lifetime SECONDS]
    fake_logbook.py --state-dir DIR --stop

On start it makes a test certificate authority (DIR/ca.pem) and a server certificate for
IP 127.0.0.1 and DNS localhost, plus a self-signed certificate that no one trusts. It
listens on two free ports: DIR/port for the trusted certificate (written last and
atomically: once it exists the service answers) and DIR/untrusted_port for the self-signed
one. DIR/pid holds its process id. It exits by itself after --lifetime seconds (default
300), on SIGTERM, or on --stop.

Every request reads these files of DIR afresh, so that a test can change them between
requests:
  logbook.adi  the ADIF records to serve (missing: an empty logbook)
  key          the accepted API key (missing: XXXX-YYYY-ZZZZ-AAAA)
  mode         how to answer, one word and an optional number (missing or empty: ok):
               ok             the QRZ answer for the key and the logbook
               fail500        HTTP 500
               cut            a Content-Length larger than the body; closes after half
               stall [N]      sends part of the body, then nothing until the client gives
                              up or N seconds (default 30) have passed
               redirect       a 302 to https on the same port, then the ok answer
               redirect_http  a 302 to http:// (with the query)
               redirect_loop  a 302 to itself, for ever
               empty          HTTP 200 with an empty body
               hangup         closes the connection without any answer
The trusted and the untrusted listener answer alike.

Each request is logged to DIR/requests.log as one line: the method, the path, the query's
keys (the key's value never: only whether it matched), the ACTION, the User-Agent, the
mode and the status. The body of the last answer is kept in DIR/last_reply.
"""

import argparse
import http.server
import os
import select
import signal
import socket
import ssl
import subprocess
import sys
import threading
import time
import urllib.parse

DEFAULT_KEY = b"XXXX-YYYY-ZZZZ-AAAA"
ENCODING = "latin-1"  # bytes in, the same bytes out


def write_atomically(path, data):
    temp = f"{path}.{os.getpid()}.tmp"
    with open(temp, "wb") as f:
        f.write(data)
    os.replace(temp, path)


def read_bytes(path, default):
    try:
        with open(path, "rb") as f:
            return f.read()
    except OSError:
        return default


def openssl(*args):
    subprocess.run(["openssl", *args], check=True, stdout=subprocess.DEVNULL,
                   stderr=subprocess.PIPE)


def make_certificates(state_dir):
    """Writes ca.pem, server.pem/server.key (signed by the CA) and untrusted.pem/.key."""
    j = lambda name: os.path.join(state_dir, name)
    # RSA keys: wine's certificate check rejects an ECDSA signature whose r or s is
    # shorter than the curve's size, which one key in a few dozen gives.
    key = ["-newkey", "rsa:2048", "-nodes"]
    openssl("req", "-x509", *key, "-keyout", j("ca.key"), "-out", j("ca.pem"), "-days", "3",
            "-subj", "/CN=Statekeeper test authority",
            "-addext", "basicConstraints=critical,CA:TRUE",
            "-addext", "keyUsage=critical,keyCertSign,cRLSign")
    openssl("req", "-x509", *key, "-keyout", j("server.key"), "-out", j("server.pem"),
            "-days", "3", "-subj", "/CN=localhost", "-CA", j("ca.pem"), "-CAkey", j("ca.key"),
            "-addext", "subjectAltName=IP:127.0.0.1,DNS:localhost",
            "-addext", "basicConstraints=critical,CA:FALSE",
            "-addext", "extendedKeyUsage=serverAuth")
    openssl("req", "-x509", *key, "-keyout", j("untrusted.key"), "-out", j("untrusted.pem"),
            "-days", "3", "-subj", "/CN=localhost",
            "-addext", "subjectAltName=IP:127.0.0.1,DNS:localhost")
    os.remove(j("ca.key"))


def parse_adif(data):
    """The records of an ADIF text as lists of (name, value) byte pairs; the header is
    skipped. A field's value is as long as its length says (cut at the end of the data)."""
    records, fields, pos = [], [], 0
    if not data.lstrip().startswith(b"<"):
        eoh = data.lower().find(b"<eoh>")
        pos = 0 if eoh < 0 else eoh + 5
    while True:
        start = data.find(b"<", pos)
        if start < 0:
            break
        end = data.find(b">", start)
        if end < 0:
            break
        field = data[start + 1:end].split(b":")
        name = field[0].strip().lower()
        pos = end + 1
        if name == b"eor":
            records.append(fields)
            fields = []
        elif name == b"eoh":
            records, fields = [], []
        elif len(field) >= 2 and field[1].strip().isdigit():
            length = int(field[1])
            value = data[pos:pos + length]
            pos += length
            fields.append((name, value))
    return records


def logbook_reply(records):
    """The QRZ answer to ACTION=FETCH: the records one field a line, a blank line between
    records, every "<" and ">" written as "&lt;" and "&gt;"."""
    if not records:
        return b"RESULT=FAIL&REASON=no log entries found&COUNT=0"
    parts = []
    for fields in records:
        lines = [b"<%s:%d>%s\n" % (name, len(value), value) for name, value in fields]
        parts.append(b"".join(lines) + b"<eor>\n")
    adif = b"\n".join(parts).replace(b"<", b"&lt;").replace(b">", b"&gt;")
    return b"COUNT=%d&ADIF=%s&RESULT=OK" % (len(records), adif)


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    timeout = 30  # a client that sends nothing does not hold a thread for long

    def log_message(self, format, *args):  # the request log is our own
        pass

    def do_GET(self):
        self.answer()

    def do_POST(self):
        self.answer()

    def answer(self):
        state_dir = self.server.state_dir
        parsed = urllib.parse.urlsplit(self.path)
        query = parsed.query
        if self.command == "POST":
            length = int(self.headers.get("Content-Length") or 0)
            query = self.rfile.read(length).decode(ENCODING)
        params = urllib.parse.parse_qs(query, keep_blank_values=True, encoding=ENCODING)
        mode_words = read_bytes(os.path.join(state_dir, "mode"), b"").decode().split()
        mode = mode_words[0] if mode_words else "ok"
        argument = float(mode_words[1]) if len(mode_words) > 1 else None

        key = read_bytes(os.path.join(state_dir, "key"), DEFAULT_KEY).rstrip(b"\r\n")
        sent_keys = [k.encode(ENCODING) for k in params.get("KEY", [])]
        key_matched = sent_keys == [key]
        actions = params.get("ACTION", [])

        status, body, extra = self.reply(mode, key_matched, sent_keys, actions, parsed.path,
                                         query)
        self.log_request_line(parsed.path, params, key_matched, actions, mode, status)
        write_atomically(os.path.join(state_dir, "last_reply"), body)
        if mode == "hangup":
            self.close_connection = True
            return
        self.send_response(status)
        self.send_header("Content-Type", "text/plain")
        for name, value in extra:
            self.send_header(name, value)
        self.send_header("Connection", "close")
        self.close_connection = True
        if mode == "cut":
            self.send_header("Content-Length", str(len(body) + 1000))
            self.end_headers()
            self.wfile.write(body[:len(body) // 2])
            self.wfile.flush()
            return
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        if mode == "stall":
            self.wfile.write(body[:min(len(body) // 2, 100)])
            self.wfile.flush()
            self.wait_for_client_to_leave(30 if argument is None else argument)
            return
        self.wfile.write(body)

    def reply(self, mode, key_matched, sent_keys, actions, path, query):
        """(status, body, extra headers) for a request."""
        host = f"127.0.0.1:{self.server.server_address[1]}"
        if mode == "fail500":
            return 500, b"Internal Server Error\n", []
        if mode == "empty":
            return 200, b"", []
        if mode == "redirect" and path != "/redirected":
            return 302, b"", [("Location", f"https://{host}/redirected?{query}")]
        if mode == "redirect_http":
            return 302, b"", [("Location", f"http://{host}{path}?{query}")]
        if mode == "redirect_loop":
            return 302, b"", [("Location", f"https://{host}{path}?{query}")]
        if not sent_keys:
            return 200, b"RESULT=FAIL&REASON=missing api key", []
        if not key_matched:
            return 200, b"RESULT=AUTH&REASON=invalid api key", []
        if actions != ["FETCH"]:
            return 200, b"RESULT=FAIL&REASON=invalid action", []
        logbook = read_bytes(os.path.join(self.server.state_dir, "logbook.adi"), b"")
        return 200, logbook_reply(parse_adif(logbook)), []

    def wait_for_client_to_leave(self, seconds):
        deadline = time.monotonic() + seconds
        connection = self.connection
        while True:
            left = deadline - time.monotonic()
            if left <= 0:
                return
            readable, _, _ = select.select([connection], [], [], left)
            if readable:
                try:
                    if not connection.recv(1024):
                        return  # the client closed the connection
                except (OSError, ssl.SSLError):
                    return

    def log_request_line(self, path, params, key_matched, actions, mode, status):
        keys = ",".join(params.keys())
        agent = self.headers.get("User-Agent", "")
        line = (f"{time.strftime('%H:%M:%S')} {self.command} {path} query={keys} "
                f"key={'matched' if key_matched else 'refused'} action={','.join(actions)} "
                f"agent={agent} mode={mode} status={status}\n")
        with self.server.log_lock:
            with open(os.path.join(self.server.state_dir, "requests.log"), "a") as f:
                f.write(line)


class Server(http.server.ThreadingHTTPServer):
    daemon_threads = True

    def __init__(self, state_dir, cert, key, log_lock):
        super().__init__(("127.0.0.1", 0), Handler)
        self.state_dir = state_dir
        self.log_lock = log_lock
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(cert, key)
        # The handshake happens in the request's thread, so a slow client blocks no one.
        self.socket = context.wrap_socket(self.socket, server_side=True,
                                          do_handshake_on_connect=False)

    def handle_error(self, request, client_address):
        pass  # refused certificates and vanished clients are part of the tests


def serve(state_dir, lifetime):
    make_certificates(state_dir)
    j = lambda name: os.path.join(state_dir, name)
    lock = threading.Lock()
    trusted = Server(state_dir, j("server.pem"), j("server.key"), lock)
    untrusted = Server(state_dir, j("untrusted.pem"), j("untrusted.key"), lock)
    stop = threading.Event()
    signal.signal(signal.SIGTERM, lambda *_: stop.set())
    signal.signal(signal.SIGINT, lambda *_: stop.set())
    for server in (trusted, untrusted):
        threading.Thread(target=server.serve_forever, kwargs={"poll_interval": 0.05},
                         daemon=True).start()
    write_atomically(j("untrusted_port"), b"%d\n" % untrusted.server_address[1])
    write_atomically(j("pid"), b"%d\n" % os.getpid())
    write_atomically(j("port"), b"%d\n" % trusted.server_address[1])
    stop.wait(lifetime)
    for server in (trusted, untrusted):
        server.shutdown()
        server.server_close()
    for name in ("port", "untrusted_port", "pid"):
        try:
            os.remove(j(name))
        except OSError:
            pass


def service_pid(state_dir):
    """The pid of the service of this state dir if it still runs, else None."""
    try:
        pid = int(read_bytes(os.path.join(state_dir, "pid"), b"").strip())
        with open(f"/proc/{pid}/cmdline", "rb") as f:
            cmdline = f.read().split(b"\0")
    except (ValueError, OSError):
        return None
    if not any(arg.endswith(b"fake_logbook.py") for arg in cmdline):
        return None  # the pid was reused by another program
    if os.path.abspath(state_dir).encode() not in cmdline:
        return None
    return pid


def stop_service(state_dir):
    pid = service_pid(state_dir)
    if pid is None:
        return
    os.kill(pid, signal.SIGTERM)
    deadline = time.monotonic() + 5
    while time.monotonic() < deadline:
        if service_pid(state_dir) is None or not os.path.exists(f"/proc/{pid}"):
            return
        time.sleep(0.02)
    os.kill(pid, signal.SIGKILL)


def start_daemon(state_dir, lifetime):
    """Starts the service in a new session and returns once it answers."""
    port_file = os.path.join(state_dir, "port")
    try:
        os.remove(port_file)
    except OSError:
        pass
    command = [sys.executable, os.path.abspath(__file__), "--state-dir", state_dir,
               "--lifetime", str(lifetime)]
    with open(os.path.join(state_dir, "service.err"), "wb") as err:
        child = subprocess.Popen(command, stdin=subprocess.DEVNULL,
                                 stdout=subprocess.DEVNULL, stderr=err,
                                 start_new_session=True, close_fds=True)
    deadline = time.monotonic() + 20
    while time.monotonic() < deadline:
        if os.path.exists(port_file):
            return 0
        if child.poll() is not None:
            break
        time.sleep(0.01)
    sys.stderr.write("fake_logbook: the service did not start; see "
                     f"{os.path.join(state_dir, 'service.err')}\n")
    if child.poll() is None:
        child.kill()
    return 1


def main():
    parser = argparse.ArgumentParser(description="Test logbook service over HTTPS.")
    parser.add_argument("--state-dir", required=True)
    parser.add_argument("--daemon", action="store_true")
    parser.add_argument("--stop", action="store_true")
    parser.add_argument("--lifetime", type=float, default=300)
    args = parser.parse_args()
    state_dir = os.path.abspath(args.state_dir)
    if args.stop:
        stop_service(state_dir)
        return 0
    if not 0 < args.lifetime <= 3600:
        parser.error("--lifetime must be between 0 and 3600 seconds")
    os.makedirs(state_dir, mode=0o700, exist_ok=True)
    stop_service(state_dir)  # a service left over from an earlier run
    if args.daemon:
        return start_daemon(state_dir, args.lifetime)
    serve(state_dir, args.lifetime)
    return 0


if __name__ == "__main__":
    sys.exit(main())
