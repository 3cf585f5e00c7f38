"""End-to-end harness: a Wine prefix on a private X display, the companion
simulator (tollsim.exe) and the assistant, driven from pytest."""

from .central import CentralProgram, CentralService, seeded_central
from .paths import REPO_ROOT, next_release_of, program_exe, program_exes, scratch_dir, win_build_dir
from .program import MAIN_CAPTION, copy_program, start_program, stop_program
from .screen import Screen
from .sim import Child, Event, Sim, SimError, start_sim
from .wait import wait_until
from .session import WineSession
from .signing import OTHER_KEY, TEST_KEY, pe_machine_name, sign_file, statement_of
from .wine import Wine, WineError

__all__ = [
    "REPO_ROOT", "next_release_of", "program_exe", "program_exes", "scratch_dir", "win_build_dir",
    "CentralProgram", "CentralService", "seeded_central",
    "MAIN_CAPTION", "copy_program", "start_program", "stop_program",
    "Screen",
    "Child", "Event", "Sim", "SimError", "start_sim",
    "wait_until",
    "OTHER_KEY", "TEST_KEY", "pe_machine_name", "sign_file", "statement_of",
    "Wine", "WineError", "WineSession",
]
