"""A PostgreSQL server of the test's own: a fresh cluster in a temporary
folder, on a free loopback port and a Unix socket in that folder, run as an
unprivileged user when the suite runs as root, and always stopped with the
test. Where no server can be started, the test reports itself skipped."""

import glob
import os
import pwd
import shutil
import socket
import subprocess
import sys
import tempfile

SKIP = 77
USER = "kovrad"


class Unavailable(Exception):
    """PostgreSQL cannot run here; the reason is the message."""


def skip(reason):
    print(f"SKIPPED: {reason}")
    sys.stdout.flush()
    sys.exit(SKIP)


def server_binaries():
    """The newest installed server's bin folder."""
    found = sorted(glob.glob("/usr/lib/postgresql/*/bin/pg_ctl"),
                   key=lambda path: int(path.split("/")[4]) if path.split("/")[4].isdigit() else 0)
    if not found:
        raise Unavailable("PostgreSQL server not installed (Debian package postgresql)")
    return os.path.dirname(found[-1])


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


class Postgres:
    """One cluster; `dsn` is its libpq connection string for database
    `central`."""

    def __init__(self, durable=False, tls=False):
        # Tests need no crash safety: durable=False spares the disk its syncs.
        self.durable = durable
        self.tls = tls
        self.bin = server_binaries()
        self.root = tempfile.mkdtemp(prefix="kovrad-pg-")
        self.data = os.path.join(self.root, "data")
        self.log = os.path.join(self.root, "server.log")
        self.port = free_port()
        self.running = False
        # The server refuses to run as root: it runs as nobody, who owns the folder.
        self.account = {}
        if os.geteuid() == 0:
            nobody = pwd.getpwnam("nobody")
            os.chown(self.root, nobody.pw_uid, nobody.pw_gid)
            self.account = {"user": nobody.pw_uid, "group": nobody.pw_gid, "extra_groups": []}
        os.chmod(self.root, 0o700)
        try:
            if tls:
                self._make_certificate()
            self._run("initdb", "-D", self.data, "-U", USER, "--auth=trust", "--no-locale",
                      "-E", "UTF8", "--no-sync")
            self.start()
            self.psql("CREATE DATABASE central", database="postgres")
        except Exception:
            self.close()
            raise
        self.dsn = f"host=127.0.0.1 port={self.port} user={USER} dbname=central"

    def _run(self, tool, *args, timeout=60):
        env = {"PATH": os.environ.get("PATH", "/usr/bin:/bin"), "LANG": "C", "LC_ALL": "C"}
        result = subprocess.run([os.path.join(self.bin, tool), *args], cwd=self.root, env=env,
                                stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=timeout,
                                **self.account)
        if result.returncode != 0:
            raise Unavailable(f"{tool} failed: {result.stdout.decode(errors='replace')[-400:]}")
        return result.stdout.decode()

    def start(self):
        options = f"-p {self.port} -k {self.root} -c listen_addresses=127.0.0.1 -c max_connections=40"
        if not self.durable:
            options += " -c fsync=off -c synchronous_commit=off"
        if self.tls:
            options += (f" -c ssl=on -c ssl_cert_file={self.certificate}"
                        f" -c ssl_key_file={self.root}/server.key")
        self._run("pg_ctl", "-D", self.data, "-l", self.log, "-o", options, "-w", "-t", "60", "start",
                  timeout=90)
        self.running = True

    def stop(self):
        if self.running:
            self._run("pg_ctl", "-D", self.data, "-m", "fast", "-w", "-t", "60", "stop", timeout=90)
            self.running = False

    def _make_certificate(self):
        """A self-signed certificate for 127.0.0.1, `certificate`, and its key."""
        self.certificate = os.path.join(self.root, "server.crt")
        key = os.path.join(self.root, "server.key")
        made = subprocess.run(
            ["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "1", "-subj",
             "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1", "-keyout", key,
             "-out", self.certificate], stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, timeout=60)
        if made.returncode != 0:
            raise Unavailable("openssl: " + made.stderr.decode(errors="replace")[-200:])
        os.chmod(key, 0o600)
        if self.account:
            for path in (key, self.certificate):
                os.chown(path, self.account["user"], self.account["group"])

    def psql(self, sql, database="central"):
        """Rows of `sql` as lists of texts."""
        result = subprocess.run(
            [os.path.join(self.bin, "psql"), "-X", "-q", "-At", "-F", "\t", "-v", "ON_ERROR_STOP=1",
             "-h", self.root, "-p", str(self.port), "-U", USER, "-d", database, "-c", sql],
            stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=60)
        if result.returncode != 0:
            raise RuntimeError(result.stderr.decode(errors="replace"))
        return [line.split("\t") for line in result.stdout.decode().splitlines() if line]

    def close(self):
        try:
            self.stop()
        finally:
            shutil.rmtree(self.root, ignore_errors=True)


def start_or_skip(durable=False, tls=False):
    """A running server, or the test's exit as skipped with the reason."""
    try:
        return Postgres(durable, tls)
    except (Unavailable, OSError, subprocess.TimeoutExpired) as reason:
        skip(f"PostgreSQL cannot start here: {reason}")
