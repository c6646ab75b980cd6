"""korvel-replay run on captures, and its sink calls sorted into flows and update documents."""

import json
import os
import subprocess

# One channel for the flow events, one for the update documents, both plain JSON.
CONFIG = {
    "types": [],
    "format": "json",
    "compressor": "none",
    "sinks": {"sink-check": {"flows": {"types": ["stream-flows"]},
                             "stats": {"types": ["stream-stats"]}}},
}
FLOWS_CHANNEL = "flows"
STATS_CHANNEL = "stats"
# Members of the agent status that tell about the process or the wall clock, not the input.
PROCESS_FIGURES = {"timestamp", "uptime", "cpu_user", "cpu_user_prev", "cpu_system",
                   "cpu_system_prev", "maxrss_kb", "maxrss_kb_prev", "memrss_kb",
                   "memrss_kb_prev"}


def flow_id(flow):
    """A flow's first digest: its digest changes when detection completes, and "digest_prev"
    keeps the history, oldest first."""
    history = flow.get("digest_prev") or [flow["digest"]]
    return history[0]


def write_config(directory):
    path = os.path.join(directory, "capture-check.json")
    with open(path, "w", encoding="utf-8") as handle:
        json.dump(CONFIG, handle)
    return path


class Run:
    """One korvel-replay run: exit status, standard error and the sink calls."""

    def __init__(self, command, result):
        self.command = command
        self.status = result.returncode
        self.err = result.stderr
        self.lines = result.stdout.splitlines()
        self.records = [json.loads(line) for line in self.lines]

    def describe(self):
        return "%s\nexit %d, stderr:\n%s" % (" ".join(self.command), self.status, self.err)

    def payloads(self, channel, doc_type=None):
        return [r["payload"] for r in self.records if r["channel"] == channel and
                (doc_type is None or r["payload"].get("type") == doc_type)]

    def flows(self):
        """Flow-event documents by the flow's first digest: {digest: {"flow": [...],
        "flow_purge": [...], "flow_stats": [...], "order": [...] types in arrival order}}."""
        found = {}
        for doc in self.payloads(FLOWS_CHANNEL):
            entry = found.setdefault(flow_id(doc["flow"]),
                                     {"flow": [], "flow_purge": [], "flow_stats": [],
                                      "order": [], "interface": []})
            entry.setdefault(doc["type"], []).append(doc["flow"])
            entry["order"].append(doc["type"])
            entry["interface"].append((doc["interface"], doc["internal"]))
        return found


# Seconds one run of a small capture may take; longer is a fault worth naming. A replayed
# scenario waits up to two of the worker's one-second waits per "sync", and the sanitizer builds
# run several times slower, so the bound is generous: it is there to name a hang, not to time.
RUN_TIMEOUT_S = 90
TIMED_OUT = -1


def replay(tool, args, stdin=None):
    command = [tool, "-q"] + args
    try:
        result = subprocess.run(command, capture_output=True, text=True, check=False,
                                input=stdin, timeout=RUN_TIMEOUT_S)
    except subprocess.TimeoutExpired as expired:
        result = subprocess.CompletedProcess(command, TIMED_OUT, "",
                                             "timed out after %d s" % expired.timeout)
    return Run(command, result)


def error_line(run, path):
    """The tool's "FILE: reason" line for `path` (after the program name, if any), or None."""
    for line in run.err.splitlines():
        text = line[len("korvel-replay: "):] if line.startswith("korvel-replay: ") else line
        if text.startswith(path + ": "):
            return text
    return None


def masked(records):
    """Sink calls with the agent status's process figures and timestamp left out."""
    out = []
    for record in records:
        record = json.loads(json.dumps(record))
        payload = record["payload"]
        if isinstance(payload, dict) and payload.get("type") == "agent_status":
            for key in PROCESS_FIGURES:
                payload.pop(key, None)
        out.append(record)
    return out
