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

A request is a POST of application/x-www-form-urlencoded fields (KEY, ACTION, OPTION), as
the service documents it; a GET with the fields in its query is answered alike.
Connections are kept open for the next request (HTTP/1.1 keep-alive) unless a mode below
ends them or DIR/connection says close.

Every request reads these files of DIR afresh, so that a test can change them between
requests:
  logbook.adi  the ADIF records to serve (missing: an empty logbook)
  key          the accepted API key (missing: XXXX-YYYY-ZZZZ-AAAA)
  connection   "close": the connection is closed after every answer (missing: kept open)
  mode         how to answer, one word and an optional number (missing or empty: ok):
               ok             the QRZ answer for the key and the logbook
               fail500        HTTP 500
               cut            a Content-Length larger than the body; closes after half
               stall [N]      sends part of the body, then nothing until the client gives
                              up or N seconds (default 30) have passed
               redirect       a 302 to https on the same host and port, then the ok answer
               redirect_http  a 302 to http:// (with the query, if any)
               redirect_loop  a 302 to itself, for ever
               empty          HTTP 200 with an empty body
               hangup         closes the connection without any answer
               slow RATE      the ok answer at about RATE bytes a second
               status TEXT    HTTP 200 with TEXT as the whole body (a service's failure
                              answer, say); TEXT may hold blanks
               page           HTTP 200 with the body of DIR/page, taken as it is (an HTML
                              maintenance page, random bytes)
             For large logbooks the service documents paging: a request with
             OPTION=MAX:n,AFTERLOGID:m gets at most n records whose app_qrzlog_logid is m or
             more, COUNT being how many such records there are; past the end it answers
             "RESULT=FAIL&REASON=no log entries found&COUNT=0". These modes make the request
             for the whole logbook fail while pages are served:
               whole_stall [MIN]  the whole logbook stalls (as stall) when it has more than
                                  MIN records (default 0)
               whole_504 [MIN]    the whole logbook gets HTTP 504 when it has more than MIN
                                  records
               page_repeat        (and the whole logbook 504) every page is the first one
               page_cut K         (and the whole logbook 504) the K-th page request in
                                  DIR/requests.log is cut off half-way, as cut
               page_stall K       (and the whole logbook 504) the K-th page request stalls,
                                  as stall
               page_overlap N     (and the whole logbook 504) every page starts N records
                                  before its AFTERLOGID, repeating the end of the page before
               page_small_count   (and the whole logbook 504) every page's COUNT is the
                                  number of its own records, not of all that match
The trusted and the untrusted listener answer alike. A client that accepts gzip gets every
body compressed with it (Content-Encoding: gzip).

Each request is logged to DIR/requests.log as one line: the method, the path, the query and
the body as they came (bytes outside ! to ~ written as %XX), the
Content-Type, the number of the connection it came on (counted from 1 by the service),
whether the key matched, the ACTION, the OPTION, the User-Agent, the content encoding of
the answer, the mode and the status:
  12:00:00 POST /api query= body=KEY=K&ACTION=FETCH type=application/x-www-form-urlencoded
    connection=1 key=matched action=FETCH option= agent=... encoding=gzip mode=ok status=200
(one line). The body of the last answer is kept, not compressed, in DIR/last_reply.
"""

import argparse
import bisect
import gzip
import http.server
import itertools
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


NO_ENTRIES = b"RESULT=FAIL&REASON=no log entries found&COUNT=0"


def logbook_reply(records, count=None):
    """The QRZ answer to ACTION=FETCH: the records one field a line, a blank line between
    records, every "<" and ">" written as "&lt;" and "&gt;". COUNT is `count` when given
    (a page tells how many records match in all), else the number of records."""
    if not records:
        return NO_ENTRIES
    parts = []
    for fields in records:
        lines = [b"<%s:%d>%s\n" % (name, len(value), value) for name, value in fields]
        parts.append(b"".join(lines) + b"<eor>\n")
    adif = b"\n".join(parts).replace(b"<", b"&lt;").replace(b">", b"&gt;")
    return b"COUNT=%d&ADIF=%s&RESULT=OK" % (len(records) if count is None else count, adif)


class LogbookCache:
    """The parsed records of DIR/logbook.adi and their log ids, parsed again only when the
    file changes: a large logbook asked for page by page is not parsed for every page."""

    def __init__(self):
        self.lock = threading.Lock()
        self.key = None
        self.records = []
        self.logids = []

    def get(self, path):
        try:
            info = os.stat(path)
            key = (info.st_mtime_ns, info.st_size, info.st_ino)
        except OSError:
            return [], []
        with self.lock:
            if key != self.key:
                self.records = parse_adif(read_bytes(path, b""))
                self.logids = [logid(fields) for fields in self.records]
                self.key = key
            return self.records, self.logids


def logid(fields):
    """A record's app_qrzlog_logid as a number, or 0 when it has none."""
    for name, value in fields:
        if name == b"app_qrzlog_logid" and value.strip().isdigit():
            return int(value)
    return 0


def parse_option(option):
    """(MAX, AFTERLOGID) of an OPTION value such as "MAX:2000,AFTERLOGID:0", or None."""
    values = {}
    for part in option.split(","):
        name, _, value = part.partition(":")
        if value.strip().isdigit():
            values[name.strip().upper()] = int(value)
    if "MAX" not in values:
        return None
    return values["MAX"], values.get("AFTERLOGID", 0)


def page_reply(records, logids, option, overlap=0, small_count=False):
    """The answer to a request for one page of the logbook, whose records come in the order
    of their log ids; it starts `overlap` records early, and its COUNT is the page's own
    number of records when `small_count`."""
    maximum, after = option
    first = max(0, bisect.bisect_left(logids, after) - overlap)
    page = records[first:first + maximum]
    return logbook_reply(page, count=len(page) if small_count else len(records) - first)


def printable(text):
    """`text` on one line of the request log: bytes outside ! to ~ as %XX."""
    return "".join(c if "!" <= c <= "~" else "%%%02X" % ord(c) for c in text)


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    timeout = 30  # a client that sends nothing does not hold a thread for long

    def log_message(self, format, *args):  # the request log is our own
        pass

    def setup(self):
        super().setup()
        # The head and the body of an answer go out in two writes; without this the body
        # would wait for the client's delayed acknowledgement of the head on a connection
        # that is kept open.
        self.connection.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        self.connection_number = self.server.number_connection()

    def do_GET(self):
        self.answer()

    def do_POST(self):
        self.answer()

    def answer(self):
        state_dir = self.server.state_dir
        parsed = urllib.parse.urlsplit(self.path)
        query = parsed.query
        length = int(self.headers.get("Content-Length") or 0)
        body = self.rfile.read(length).decode(ENCODING) if length > 0 else ""
        fields = body if self.command == "POST" else query
        params = urllib.parse.parse_qs(fields, keep_blank_values=True, encoding=ENCODING)
        mode_text = read_bytes(os.path.join(state_dir, "mode"), b"").decode()
        mode_words = mode_text.split()
        mode = mode_words[0] if mode_words else "ok"
        argument = mode_text.split(None, 1)[1].strip() if len(mode_words) > 1 else None

        key = read_bytes(os.path.join(state_dir, "key"), DEFAULT_KEY).rstrip(b"\r\n")
        sent_keys = [k.encode(ENCODING) for k in params.get("KEY", [])]
        key_matched = sent_keys == [key]
        actions = params.get("ACTION", [])
        options = params.get("OPTION", [])
        option = parse_option(options[0]) if len(options) == 1 else None
        page_number = self.server.count_page(state_dir) if option is not None else 0

        self.whole_logbook_stalls = False  # set by reply() for whole_stall
        status, answer, extra = self.reply(mode, argument, key_matched, sent_keys, actions,
                                           option, parsed.path, query)
        # How the body is sent: whole, cut off half-way, stalled, or slowly.
        delivery = mode if mode in ("cut", "stall", "slow") else "whole"
        if self.whole_logbook_stalls:
            delivery = "stall"
        if mode in ("page_cut", "page_stall") and page_number == int(argument or 1):
            delivery = "cut" if mode == "page_cut" else "stall"
        encoding = "identity"
        sent = answer
        if answer and "gzip" in self.headers.get("Accept-Encoding", ""):
            encoding = "gzip"
            sent = gzip.compress(answer, compresslevel=1, mtime=0)
        self.log_request_line(parsed.path, query, body, key_matched, actions, options, encoding,
                              mode, status)
        write_atomically(os.path.join(state_dir, "last_reply"), answer)
        if mode == "hangup":
            self.close_connection = True
            return
        self.send_response(status)
        self.send_header("Content-Type", "text/plain")
        if encoding != "identity":
            self.send_header("Content-Encoding", encoding)
        for name, value in extra:
            self.send_header(name, value)
        closes = read_bytes(os.path.join(state_dir, "connection"), b"").strip() == b"close"
        if closes or delivery in ("cut", "stall") or self.close_connection:
            self.send_header("Connection", "close")
            self.close_connection = True
        if delivery == "cut":
            self.send_header("Content-Length", str(len(sent) + 1000))
            self.end_headers()
            self.wfile.write(sent[:len(sent) // 2])
            self.wfile.flush()
            return
        self.send_header("Content-Length", str(len(sent)))
        self.end_headers()
        if delivery == "stall":
            seconds = float(argument) if mode == "stall" and argument else 30
            self.wfile.write(sent[:min(len(sent) // 2, 100)])
            self.wfile.flush()
            self.wait_for_client_to_leave(seconds)
            return
        if delivery == "slow":
            self.send_slowly(sent, float(argument or 100000))
            return
        self.wfile.write(sent)

    def send_slowly(self, data, rate):
        """Sends `data` in twentieths of a second's worth at about `rate` bytes a second."""
        piece = max(1, int(rate / 20))
        try:
            for start in range(0, len(data), piece):
                self.wfile.write(data[start:start + piece])
                self.wfile.flush()
                time.sleep(0.05)
        except (OSError, ssl.SSLError):
            pass  # the client went away: a cancelled download

    def reply(self, mode, argument, key_matched, sent_keys, actions, option, path, query):
        """(status, body, extra headers) for a request."""
        # Redirects lead to the host name that the client asked for, whose certificate name
        # it checks.
        host = self.headers.get("Host") or f"127.0.0.1:{self.server.server_address[1]}"
        if mode == "fail500":
            return 500, b"Internal Server Error\n", []
        if mode == "empty":
            return 200, b"", []
        if mode == "status":
            return 200, (argument or "").encode(ENCODING), []
        if mode == "page":
            return 200, read_bytes(os.path.join(self.server.state_dir, "page"), b""), []
        query = f"?{query}" if query else ""
        if mode == "redirect" and path != "/redirected":
            return 302, b"", [("Location", f"https://{host}/redirected{query}")]
        if mode == "redirect_http":
            return 302, b"", [("Location", f"http://{host}{path}{query}")]
        if mode == "redirect_loop":
            return 302, b"", [("Location", f"https://{host}{path}{query}")]
        if not sent_keys:
            return 200, b"RESULT=FAIL&REASON=missing api key", []
        if not key_matched:
            return 200, b"RESULT=AUTH&REASON=invalid api key", []
        if actions != ["FETCH"]:
            return 200, b"RESULT=FAIL&REASON=invalid action", []
        records, logids = self.server.logbook.get(
            os.path.join(self.server.state_dir, "logbook.adi"))
        if option is None:
            minimum = int(argument) if mode in ("whole_stall", "whole_504") and argument else 0
            paging = ("whole_504", "page_repeat", "page_cut", "page_stall", "page_overlap",
                      "page_small_count")
            if mode in paging and len(records) > minimum:
                return 504, b"<html><body>504 Gateway Time-out</body></html>\n", []
            self.whole_logbook_stalls = mode == "whole_stall" and len(records) > minimum
            return 200, logbook_reply(records), []
        if mode == "page_repeat":
            option = (option[0], 0)
        overlap = int(argument or 1) if mode == "page_overlap" else 0
        return 200, page_reply(records, logids, option, overlap,
                               small_count=mode == "page_small_count"), []

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

    def log_request_line(self, path, query, body, key_matched, actions, options, encoding,
                         mode, status):
        agent = self.headers.get("User-Agent", "")
        content_type = self.headers.get("Content-Type", "")
        line = (f"{time.strftime('%H:%M:%S')} {self.command} {path} query={printable(query)} "
                f"body={printable(body)} type={printable(content_type)} "
                f"connection={self.connection_number} "
                f"key={'matched' if key_matched else 'refused'} action={','.join(actions)} "
                f"option={';'.join(options)} agent={agent} encoding={encoding} mode={mode} "
                f"status={status}\n")
        with self.server.log_lock:
            with open(os.path.join(self.server.state_dir, "requests.log"), "a") as f:
                f.write(line)


class Server(http.server.ThreadingHTTPServer):
    daemon_threads = True

    def __init__(self, state_dir, cert, key, log_lock, connections):
        super().__init__(("127.0.0.1", 0), Handler)
        self.state_dir = state_dir
        self.log_lock = log_lock
        self.logbook = LogbookCache()
        self.connections = connections
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(cert, key)
        # The handshake happens in the request's thread, so a slow client blocks no one.
        self.socket = context.wrap_socket(self.socket, server_side=True,
                                          do_handshake_on_connect=False)

    def number_connection(self):
        """The number of a new connection, counted over both listeners from 1."""
        with self.log_lock:
            return next(self.connections)

    def count_page(self, state_dir):
        """The number of this page request since the request log was last removed, from 1."""
        with self.log_lock:
            log = read_bytes(os.path.join(state_dir, "requests.log"), b"").decode(ENCODING)
            return sum(1 for line in log.splitlines() if " option=MAX" in line) + 1

    def handle_error(self, request, client_address):
        pass  # refused certificates and vanished clients are part of the tests


def serve(state_dir, lifetime):
    make_certificates(state_dir)
    j = lambda name: os.path.join(state_dir, name)
    lock = threading.Lock()
    connections = itertools.count(1)
    trusted = Server(state_dir, j("server.pem"), j("server.key"), lock, connections)
    untrusted = Server(state_dir, j("untrusted.pem"), j("untrusted.key"), lock, connections)
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
