"""A thermal printer on a raw TCP port of 127.0.0.1 for the hub's tests: it
keeps every byte it is sent and answers the real-time status requests
(DLE EOT 1, 2 and 4) from the status it is given."""

import socket
import threading

from hubtest import HubTestCase

READY = (0x12, 0x12, 0x12)
PAPER_OUT = (0x1A, 0x32, 0x72)


class FakePrinter:
    def __init__(self):
        self.listener = socket.create_server(("127.0.0.1", 0))
        self.listener.settimeout(0.1)
        self.destination = "tcp:127.0.0.1:%d" % self.listener.getsockname()[1]
        self.status = READY
        self.lock = threading.Lock()
        self.printed = b""
        self.stopping = False
        self.thread = threading.Thread(target=self.run, daemon=True)
        self.thread.start()

    def run(self):
        while not self.stopping:
            try:
                connection, _ = self.listener.accept()
            except socket.timeout:
                continue
            with connection:
                self.serve(connection)

    def serve(self, connection):
        connection.settimeout(10)
        pending = b""
        while True:
            try:
                chunk = connection.recv(4096)
            except OSError:
                chunk = b""
            if not chunk:
                with self.lock:
                    self.printed += pending
                return
            pending += chunk
            # Status requests are answered and kept out of what was printed.
            while (at := pending.find(b"\x10\x04")) >= 0 and len(pending) > at + 2:
                n = pending[at + 2]
                with self.lock:
                    answer = self.status[{1: 0, 2: 1}.get(n, 2)]
                connection.sendall(bytes([answer]))
                with self.lock:
                    self.printed += pending[:at]
                pending = pending[at + 3:]
            if b"\x10" not in pending[-2:]:
                with self.lock:
                    self.printed += pending
                pending = b""

    def received(self):
        with self.lock:
            return self.printed

    def set(self, status):
        with self.lock:
            self.status = status

    def stop(self):
        self.stopping = True
        self.thread.join(10)
        self.listener.close()


class PrinterHubTestCase(HubTestCase):
    """A device and a hub whose printer "balcao" is a fake printer; the
    hub's configuration goes on with `config` (before any table), the
    printers `more_printers` and the tills' `till_printers`."""

    config = ""
    more_printers = ""
    till_printers = '1 = "balcao"\n'

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.printer = FakePrinter()
        cls.sat = cls.device()
        cls.hub = cls.hub(cls.sat.env, cls.config + f'[impressoras]\nbalcao = "{cls.printer.destination}"\n' +
                          cls.more_printers + "[impressora_padrao]\n" + cls.till_printers)

    @classmethod
    def tearDownClass(cls):
        super().tearDownClass()
        cls.printer.stop()
