#!/usr/bin/env python3
"""Fits the scores of a rule file to labelled mail, reproducibly.

Input: the hit matrix that `cobbleweave-scan --config FOLDER --spam DIR --ham
DIR --json` prints (which rules scored in which message), and the rule file
whose scores are to be fitted. Method: logistic regression on the rules' hits,
in score units, with the spam threshold as the boundary:

    P(spam | message) = 1 / (1 + exp(-(sum of the scores that hit - THRESHOLD)))

Ham counts HAM_WEIGHT times as much as spam, so that the fit pays for a false
positive more than for a missed spam. A penalty of L2 times the square of each
score's distance from PRIOR (1.0 for a trait of spam, -1.0 for one of ham)
keeps a rule that the data says little about near where a new rule starts,
and spreads the weight over rules that hit the same messages instead of
giving it all to one. The fit is plain cyclic coordinate descent with Newton
steps, in a fixed order and a fixed number of sweeps, so it gives the same
scores every time; they are written with one decimal.

Only rules of the rule file that hit at least one message are fitted; rules
of other files (lists) and rules that never hit keep their scores. Comment
lines of the rule file say how the rules below them are fitted:

    # fit: at most 3.0     traits of spam: scores from 0.0 to 3.0
    # fit: at least -3.0   traits of ham: scores from -3.0 to 0.0
    # fit: fixed           the scores written by hand stay

Usage:
    fit_scores.py HITS.json RULEFILE            fit and write the scores
    fit_scores.py HITS.json RULEFILE --check    exit 1 unless the file holds them
    fit_scores.py HITS.json RULEFILE --folds 2  estimate: fit on all folds but
                                                one, measure on that one
"""

import argparse
import json
import math
import re
import sys

HAM_WEIGHT = 2.0
L2 = 0.1
PRIOR = 1.0
SWEEPS = 400

FIT_LINE = re.compile(r"^\s*#\s*fit:\s*(?:at most\s+(?P<most>[0-9.]+)|"
                      r"at least\s+-(?P<least>[0-9.]+)|(?P<fixed>fixed))\s*$")
# [block] [flags] Field: [score] elements; the score is a run of digits, '-' and '.'.
RULE_LINE = re.compile(r"^(?P<head>\s*(?:\d+\s+)?(?:[!%+\-=@~]\s*)*[^ ]+ )\s*"
                       r"(?P<score>[0-9.\-]*)\s*(?P<rest>.*)$", re.S)


def read_rule_file(path):
    with open(path, "rb") as source:
        return source.read().decode("latin-1").split("\n")


def fit_limits(lines):
    """(sign, cap) for each line of the rule file (1-based); None where the
    scores stay as written: fixed lines, and lines before the first fit line."""
    limits = {}
    limit = None
    for number, line in enumerate(lines, start=1):
        setting = FIT_LINE.match(line)
        if setting and setting.group("most"):
            limit = (1.0, float(setting.group("most")))
        elif setting and setting.group("least"):
            limit = (-1.0, float(setting.group("least")))
        elif setting:
            limit = None
        limits[number] = limit
    return limits


def same_file(path, other):
    return path.replace("\\", "/").rsplit("/", 1)[-1] == other.replace("\\", "/").rsplit("/", 1)[-1]


class Problem:
    """The rules to fit and, per message, its label, its fitted hits and the
    scores of the hits that are not fitted."""

    def __init__(self, hits, rule_file, lines):
        self.threshold = hits["spamThreshold"] if hits["spamThreshold"] is not None else 5.0
        limits = fit_limits(lines)
        counted = [0] * len(hits["rules"])
        for scan in hits["scans"]:
            for rule in scan["hits"]:
                counted[rule] += 1
        self.rules = []  # (rule id, line, sign, cap)
        column_of = {}
        for rule in hits["rules"]:
            if rule["file"] is None or not same_file(rule["file"], rule_file):
                continue
            limit = limits.get(rule["line"])
            if limit is None or counted[rule["id"]] == 0:
                continue
            sign, cap = limit
            column_of[rule["id"]] = len(self.rules)
            self.rules.append((rule["id"], rule["line"], sign, cap))
        scores = {rule["id"]: rule["score"] for rule in hits["rules"]}
        self.messages = []  # (is spam, fitted columns, fixed part of the score)
        for scan in hits["scans"]:
            columns = [column_of[r] for r in scan["hits"] if r in column_of]
            fixed = sum(scores[r] for r in scan["hits"] if r not in column_of)
            self.messages.append((scan["label"] == "spam", columns, fixed))


def fit(problem, selected):
    """Scores (in the order of problem.rules) fitted to the messages selected."""
    messages = [problem.messages[index] for index in selected]
    columns = len(problem.rules)
    magnitude = [min(PRIOR, cap) for _, _, _, cap in problem.rules]
    hits_of = [[] for _ in range(columns)]
    for index, (_, hit_columns, _) in enumerate(messages):
        for column in hit_columns:
            hits_of[column].append(index)
    margin = [fixed - problem.threshold for _, _, fixed in messages]
    for column in range(columns):
        for index in hits_of[column]:
            margin[index] += magnitude[column] * problem.rules[column][2]
    target = [1.0 if spam else 0.0 for spam, _, _ in messages]
    weight = [1.0 if spam else HAM_WEIGHT for spam, _, _ in messages]
    for _ in range(SWEEPS):
        for column in range(columns):
            if not hits_of[column]:
                continue
            sign = problem.rules[column][2]
            cap = problem.rules[column][3]
            gradient = 2.0 * L2 * (magnitude[column] - PRIOR)
            curvature = 2.0 * L2
            for index in hits_of[column]:
                probability = 1.0 / (1.0 + math.exp(-margin[index]))
                gradient += weight[index] * (probability - target[index]) * sign
                curvature += weight[index] * probability * (1.0 - probability)
            updated = min(cap, max(0.0, magnitude[column] - gradient / curvature))
            step = (updated - magnitude[column]) * sign
            if step != 0.0:
                for index in hits_of[column]:
                    margin[index] += step
                magnitude[column] = updated
    return [round_score(sign * value) for value, (_, _, sign, _) in zip(magnitude, problem.rules)]


def round_score(value):
    rounded = float("%.1f" % value)
    return 0.0 if rounded == 0.0 else rounded


def measure(problem, scores, selected):
    """(spam marked, spam, ham marked, ham) among the messages selected."""
    counts = [0, 0, 0, 0]
    for index in selected:
        spam, columns, fixed = problem.messages[index]
        total = fixed + sum(scores[column] for column in columns)
        marked = total > problem.threshold
        counts[0 if spam else 2] += 1 if marked else 0
        counts[1 if spam else 3] += 1
    return counts


def describe(counts):
    spam_marked, spam, ham_marked, ham = counts
    return "recall %.2f%% (%d of %d spam), false positives %.2f%% (%d of %d ham)" % (
        100.0 * spam_marked / max(spam, 1), spam_marked, spam,
        100.0 * ham_marked / max(ham, 1), ham_marked, ham)


def rewritten(lines, problem, scores):
    changed = list(lines)
    for (_, line, _, _), score in zip(problem.rules, scores):
        text = changed[line - 1]
        ending = "\r" if text.endswith("\r") else ""
        parts = RULE_LINE.match(text[:len(text) - len(ending)])
        if parts is None:
            raise SystemExit("fit_scores: line %d is not a rule: %s" % (line, text))
        changed[line - 1] = "%s%.1f %s%s" % (parts.group("head"), score,
                                             parts.group("rest"), ending)
    return changed


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("hits", help="the JSON of cobbleweave-scan --spam ... --ham ... --json")
    parser.add_argument("rule_file", help="the rule file whose scores are fitted")
    parser.add_argument("--check", action="store_true",
                        help="write nothing; exit 1 unless the file holds the fitted scores")
    parser.add_argument("--folds", type=int, default=0,
                        help="estimate the scores' performance on mail they were not fitted to")
    arguments = parser.parse_args()

    with open(arguments.hits, "rb") as source:
        hits = json.loads(source.read().decode("utf-8"))
    lines = read_rule_file(arguments.rule_file)
    problem = Problem(hits, arguments.rule_file, lines)
    everything = range(len(problem.messages))

    if arguments.folds > 1:
        total = [0, 0, 0, 0]
        for fold in range(arguments.folds):
            held_out = [i for i in everything if i % arguments.folds == fold]
            training = [i for i in everything if i % arguments.folds != fold]
            counts = measure(problem, fit(problem, training), held_out)
            print("fold %d of %d: %s" % (fold + 1, arguments.folds, describe(counts)))
            total = [a + b for a, b in zip(total, counts)]
        print("all folds: %s" % describe(total))
        return 0

    scores = fit(problem, everything)
    print("%d rules fitted; on the mail they were fitted to: %s" % (
        len(scores), describe(measure(problem, scores, everything))))
    for (rule_id, line, _, _), score in zip(problem.rules, scores):
        if score == 0.0:
            print("line %d: fitted to 0.0, the rule adds nothing" % line)
    changed = rewritten(lines, problem, scores)
    if arguments.check:
        if changed != lines:
            print("%s does not hold the fitted scores" % arguments.rule_file)
            return 1
        print("%s holds the fitted scores" % arguments.rule_file)
        return 0
    with open(arguments.rule_file, "wb") as target:
        target.write("\n".join(changed).encode("latin-1"))
    return 0


if __name__ == "__main__":
    sys.exit(main())
