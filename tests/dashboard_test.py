#!/usr/bin/python3
"""Checks the Grafana dashboard's queries against what velmorjob writes.

Usage: dashboard_test.py VELMORJOB SOURCE-DIR SCRATCH-DIR

Reads monitoring/velmorjob-dashboard.json and its provisioning file
monitoring/velmorjob-dashboard.yml, and checks that:
  - both parse, and the provisioning file has a provider of type file with a
    path;
  - each panel has an id of its own and a gridPos;
  - every query, each panel's targets[].expr and the PromQL in the template
    variables' queries (label_values(SELECTOR, LABEL), query_result(EXPR)),
    uses only variables that templating.list defines or Grafana has built
    in, and so does every data source reference and panel repeat;
  - every metric name a query uses is one that the built program writes
    (it runs a job with stub steps and reads the metrics file it wrote),
    one that monitoring/velmorjob.rules.yml records, one of the limits file
    monitoring/velmorjob_limits.prom, or Prometheus's ALERTS and
    ALERTS_FOR_STATE;
  - every query is valid PromQL: with each variable replaced by a sample
    value, each becomes a recording rule of a file that
    "promtool check rules" must pass.
"""

import ast
import json
import pathlib
import re
import sys

from monitoring_support import (have_promtool, load_yaml, metric_names, promtool, run_job,
                                scratch_folder, write_job, write_steps, yaml)

DASHBOARD = "velmorjob-dashboard.json"
PROVISIONING = "velmorjob-dashboard.yml"
RULES = "velmorjob.rules.yml"
LIMITS = "velmorjob_limits.prom"
# The series that Prometheus itself makes of the alert rules.
PROMETHEUS_SERIES = {"ALERTS", "ALERTS_FOR_STATE"}
# Grafana's built-in variables of a Prometheus query, each with a sample value.
BUILT_IN = {
    "__interval": "1m", "__interval_ms": "60000", "__rate_interval": "4m",
    "__rate_interval_ms": "240000", "__range": "1d", "__range_s": "86400",
    "__range_ms": "86400000", "__from": "1700000000000", "__to": "1700086400000",
    "__dashboard": "velmorjob", "__org": "1", "__user": "admin",
}
# $name, ${name}, ${name:format} or ${name.field}, [[name]] or [[name:format]].
VARIABLE = re.compile(r"\$\{([A-Za-z_]\w*)(?:[.:][^}]*)?\}|\$([A-Za-z_]\w*)"
                      r"|\[\[([A-Za-z_]\w*)(?::[^\]]*)?\]\]")
# Grafana's own data sources, which no variable names.
GRAFANA_SOURCES = {"-- Grafana --", "-- Mixed --", "-- Dashboard --", "grafana"}

# PromQL's tokens: strings, comments, names, numbers and durations, operators.
TOKEN = re.compile(r'"(?:\\.|[^"\\])*"|\'(?:\\.|[^\'\\])*\'|`[^`]*`|#[^\n]*'
                   r"|[A-Za-z_:][A-Za-z0-9_:]*|[0-9.][A-Za-z0-9_.]*|=~|!~|!=|==|<=|>=|\S")
NAME = re.compile(r"[A-Za-z_:][A-Za-z0-9_:]*")
# Words that are no metric: keywords, and the numbers that are spelled.
KEYWORDS = {"and", "or", "unless", "atan2", "bool", "by", "without", "on", "ignoring",
            "group_left", "group_right", "offset", "inf", "nan"}
# Words followed by a list of label names in parentheses.
LABEL_LISTS = {"by", "without", "on", "ignoring", "group_left", "group_right"}


def used_metrics(expr):
    """The metric names that a PromQL expression selects, and what in it
    cannot be told: (names, problems). Label names in braces, grouping
    lists and function names are no metric names."""
    tokens = [token for token in TOKEN.findall(expr) if not token.startswith("#")]
    names, problems = set(), []
    label_lists = []  # for each open parenthesis: does it hold label names?
    braces = brackets = 0
    for index, token in enumerate(tokens):
        before = tokens[index - 1].lower() if index else ""
        after = tokens[index + 1:index + 3]
        if token in ("{", "}"):
            braces += 1 if token == "{" else -1
        elif token in ("[", "]"):
            brackets += 1 if token == "[" else -1
        elif braces:
            if token == "__name__":
                if len(after) == 2 and after[0] == "=" and after[1][0] in "\"'`":
                    names.add(ast.literal_eval(after[1]) if after[1][0] != "`" else after[1][1:-1])
                else:
                    problems.append("a __name__ matched otherwise than by = \"name\"")
        elif brackets:
            continue
        elif token == "(":
            label_lists.append(before in LABEL_LISTS)
        elif token == ")":
            if label_lists:
                label_lists.pop()
        elif NAME.fullmatch(token) and token.lower() not in KEYWORDS:
            in_label_list = label_lists and label_lists[-1]
            # A function or an aggregation: name(...), name by (...) (...).
            called = after and (after[0] == "(" or after[0].lower() in ("by", "without"))
            if not in_label_list and not called:
                names.add(token)
    return names, problems


def walk_panels(panels):
    """Every panel, also those of collapsed rows."""
    for panel in panels:
        yield panel
        yield from walk_panels(panel.get("panels", []))


def variable_queries(variable):
    """The PromQL of a template variable's query, or raises ValueError."""
    query = variable.get("query", "")
    if isinstance(query, dict):
        query = query.get("query", "")
    match = re.fullmatch(r"\s*(\w+)\s*\((.*)\)\s*", query, re.DOTALL)
    if not match:
        raise ValueError(f"a query that is no label_values(...) or query_result(...): {query!r}")
    function, argument = match.groups()
    if function == "query_result":
        return [argument]
    if function == "label_values":
        selector, _, label = argument.rpartition(",")
        if not re.fullmatch(r"\s*\w+\s*", label):
            raise ValueError(f"label_values without a label name: {query!r}")
        return [selector] if selector.strip() else []
    raise ValueError(f"a query that is no label_values(...) or query_result(...): {query!r}")


def sample_value(variable):
    """What a variable stands for in a query that promtool checks."""
    if variable.get("allValue"):
        return variable["allValue"]
    current = variable.get("current", {}).get("value")
    if isinstance(current, list):
        current = current[0] if current else None
    if isinstance(current, str) and current and not current.startswith("$"):
        return current
    return "sample"


def used_variables(text):
    return {next(group for group in match.groups() if group) for match in VARIABLE.finditer(text)}


def substituted(text, values):
    def value(match):
        return values.get(next(group for group in match.groups() if group), "sample")
    return VARIABLE.sub(value, text)


def record_name(*words):
    return "dashboard:" + "_".join(re.sub(r"[^A-Za-z0-9]+", "_", str(word)).strip("_").lower()
                                   for word in words if str(word))


class Dashboard:
    def __init__(self, document):
        self.variables = {variable.get("name"): variable
                          for variable in document.get("templating", {}).get("list", [])}
        self.panels = list(walk_panels(document.get("panels", [])))

    def queries(self):
        """(where, record name, PromQL with Grafana's variables) of every query."""
        found = []
        for panel in self.panels:
            title = panel.get("title", "")
            for target in panel.get("targets", []):
                if "expr" in target:
                    found.append((f"panel {panel.get('id')} {title!r}, query {target.get('refId')}",
                                  record_name("panel", panel.get("id"), title, target.get("refId")),
                                  target["expr"]))
        for name, variable in self.variables.items():
            if variable.get("type") == "query":
                for expr in variable_queries(variable):
                    found.append((f"variable {name}", record_name("variable", name), expr))
        return found

    def sample_queries(self):
        """The queries with each variable replaced by a sample value, as
        PromQL that promtool reads; an undefined one by "sample"."""
        values = dict(BUILT_IN)
        values.update({name: sample_value(variable) for name, variable in self.variables.items()})
        return [(where, record, substituted(expr, values))
                for where, record, expr in self.queries()]

    def data_source_uses(self):
        """(where, uid) of every data source reference but Grafana's own."""
        found = []
        holders = [(f"panel {panel.get('id')}", panel) for panel in self.panels]
        holders += [(f"panel {panel.get('id')}, query {target.get('refId')}", target)
                    for panel in self.panels for target in panel.get("targets", [])]
        holders += [(f"variable {name}", variable) for name, variable in self.variables.items()]
        for where, holder in holders:
            source = holder.get("datasource")
            uid = source.get("uid") if isinstance(source, dict) else source
            kind = source.get("type") if isinstance(source, dict) else None
            if uid and uid not in GRAFANA_SOURCES and kind != "grafana":
                found.append((where, uid))
        return found


def check_layout(dashboard):
    problems = []
    seen = set()
    for panel in dashboard.panels:
        where = f"panel {panel.get('title')!r}"
        if panel.get("id") in seen or not isinstance(panel.get("id"), int):
            problems.append(f"{where}: its id {panel.get('id')!r} is no number of its own")
        seen.add(panel.get("id"))
        if not all(isinstance(panel.get("gridPos", {}).get(key), int) for key in "xywh"):
            problems.append(f"{where}: no gridPos with x, y, w and h")
    return problems


def check_variables(dashboard):
    problems = []
    uses = [(where, expr) for where, _, expr in dashboard.queries()]
    uses += [(f"panel {panel.get('id')}, repeat", "$" + panel["repeat"])
             for panel in dashboard.panels if panel.get("repeat")]
    for where, text in uses:
        for name in sorted(used_variables(text) - set(dashboard.variables) - set(BUILT_IN)):
            problems.append(f"{where}: ${name} is no variable of the dashboard's templating.list")
    for where, uid in dashboard.data_source_uses():
        names = used_variables(uid)
        if not names or VARIABLE.sub("", uid):
            problems.append(f"{where}: data source {uid!r} is no variable: "
                            "it ties the dashboard to one Grafana")
        for name in names:
            if dashboard.variables.get(name, {}).get("type") != "datasource":
                problems.append(f"{where}: data source ${name} is no variable of type datasource")
    return problems


def check_metrics(dashboard, known):
    problems = []
    for where, _, expr in dashboard.sample_queries():
        names, unclear = used_metrics(expr)
        problems += [f"{where}: {problem}" for problem in unclear]
        for name in sorted(names - known):
            problems.append(f"{where}: {name} is no metric that velmorjob writes, "
                            f"that {RULES} records or that {LIMITS} holds")
    return problems


def check_provisioning(path):
    try:
        document = load_yaml(path)
    except (OSError, yaml.YAMLError) as error:
        return [f"{path.name}: {error}"]
    providers = document.get("providers") if isinstance(document, dict) else None
    if not providers or not all(provider.get("type") == "file"
                                and provider.get("options", {}).get("path")
                                for provider in providers):
        return [f"{path.name}: no providers, or one not of type file with options.path"]
    return []


def known_metrics(program, monitoring, scratch):
    """The metric names that queries may use; raises RuntimeError when the
    program writes no metrics file."""
    job = scratch / "nightly"
    job.mkdir()
    write_job(job, "nightly")
    write_steps(job)
    metrics = scratch / "velmorjob-nightly.prom"
    status = run_job(program, job, metrics, "nightly")
    if status != 0 or not metrics.exists():
        raise RuntimeError(f"velmorjob --metrics={metrics} nightly ended with status {status}"
                           f"{'' if metrics.exists() else ' and wrote no file'}")
    written = metric_names(metrics.read_text(encoding="utf-8"))
    recorded = {rule["record"] for group in load_yaml(monitoring / RULES)["groups"]
                for rule in group["rules"] if "record" in rule}
    limits = metric_names((monitoring / LIMITS).read_text(encoding="utf-8"))
    return written | recorded | limits | PROMETHEUS_SERIES


def rules_file(dashboard):
    """The queries as recording rules."""
    rules = [{"record": record, "expr": expr} for _, record, expr in dashboard.sample_queries()]
    return yaml.safe_dump({"groups": [{"name": "velmorjob-dashboard", "rules": rules}]},
                          sort_keys=False, width=1000)


def report(title, problems):
    for problem in problems:
        print(f"FAILED: {problem}")
    if not problems:
        print(f"ok: {title}")
    return len(problems)


def main():
    if len(sys.argv) != 4:
        print(__doc__, file=sys.stderr)
        return 2
    program = pathlib.Path(sys.argv[1]).resolve()
    monitoring = pathlib.Path(sys.argv[2]).resolve() / "monitoring"
    if not have_promtool():
        return 1
    try:
        dashboard = Dashboard(json.loads((monitoring / DASHBOARD).read_text(encoding="utf-8")))
        queries = dashboard.queries()
    except (OSError, ValueError, AttributeError) as error:
        print(f"FAILED: {DASHBOARD}: {error}")
        return 1

    failures = report(f"{PROVISIONING} provides dashboards from files",
                      check_provisioning(monitoring / PROVISIONING))
    failures += report(f"each of the {len(dashboard.panels)} panels has an id and a place",
                       check_layout(dashboard))
    failures += report("the queries and data sources use only the dashboard's variables",
                       check_variables(dashboard))
    with scratch_folder(sys.argv[3], "dashboard") as scratch:
        try:
            known = known_metrics(program, monitoring, scratch)
        except RuntimeError as error:
            print(f"FAILED: {error}")
            return 1
        failures += report(f"the {len(queries)} queries use only metrics that velmorjob writes, "
                           "its rules record or its limits file holds",
                           check_metrics(dashboard, known))
        rules = scratch / "dashboard.rules.yml"
        rules.write_text(rules_file(dashboard), encoding="utf-8")
        if not promtool("check", "rules", str(rules)):
            failures += 1
            print(f"FAILED: promtool finds queries of {DASHBOARD} that are no PromQL "
                  "(each rule is named after its panel or variable)")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
