"""What the hub benchmarks share: the build they measure, from their first
argument (default build/default), named in the variables tests/hub/hubtest.py
reads, and tests/hub on the import path."""

import os
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
BUILD = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(ROOT, "build/default"))
os.environ.setdefault("KOVRAD_HUB", os.path.join(BUILD, "hub/kovrad-hub"))
os.environ.setdefault("SATEMU", os.path.join(BUILD, "emulator/satemu"))
os.environ.setdefault("SATEMU_SAMPLES", os.path.join(ROOT, "emulator/samples"))
sys.path.insert(0, os.path.join(ROOT, "tests/hub"))
