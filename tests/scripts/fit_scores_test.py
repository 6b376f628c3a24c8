#!/usr/bin/env python3
"""tools/fit_scores.py on a hit matrix small enough to reason about by hand."""

import json
import os
import subprocess
import sys
import tempfile
import unittest

FIT_SCORES = os.path.join(os.path.dirname(__file__), "..", "..", "tools", "fit_scores.py")

RULES = (
    "THRESHOLD_SPAM 5.0\n"                      # 1
    "# fit: at most 3.0\n"                      # 2
    "~Subject: 1.0 {cash} [cash]\n"             # 3  hits spam only
    "1 !Body:  2 \"win\"  [win]\n"              # 4  hits ham only
    "Body: 1.0 {never} [never]\n"               # 5  hits nothing
    "# fit: at least -2.0\n"                    # 6
    "Header: -1.0 \"References:\" [thread]\n"   # 7  hits ham only
    "# fit: fixed\n"                            # 8
    "Size: 9.0 \"1\" [fixed]\n"                 # 9  hits one ham, keeps its score
)


def rule(rule_id, line, score, name="default_filters.dat"):
    return {"id": rule_id, "file": "/x/" + name, "line": line, "score": score}


def scan(label, hits):
    return {"label": label, "hits": hits}


# Ten spam with "cash"; ten ham with "References:", five of them with "win",
# one of them also with the fixed rule.
HITS = {
    "spamThreshold": 5.0,
    "rules": [rule(0, 3, 1.0), rule(1, 4, 2.0), rule(2, 5, 1.0), rule(3, 7, -1.0),
              rule(4, 9, 9.0), rule(5, 1, 6.0, "blocked_senders.txt")],
    "scans": [scan("spam", [0]) for n in range(10)] +
             [scan("ham", [3, 1] if n < 5 else [3]) for n in range(9)] +
             [scan("ham", [3, 4])],
}


class FitScoresTest(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.TemporaryDirectory()
        self.rules = os.path.join(self.folder.name, "default_filters.dat")
        self.hits = os.path.join(self.folder.name, "hits.json")
        with open(self.rules, "w") as target:
            target.write(RULES)
        with open(self.hits, "w") as target:
            json.dump(HITS, target)

    def tearDown(self):
        self.folder.cleanup()

    def fit(self, *options):
        return subprocess.run([sys.executable, FIT_SCORES, self.hits, self.rules, *options],
                              capture_output=True, text=True)

    def lines(self):
        with open(self.rules) as source:
            return source.read().split("\n")

    def test_scores_follow_the_hits_within_their_caps_and_signs(self):
        self.assertEqual(0, self.fit().returncode)
        lines = self.lines()
        self.assertEqual("~Subject: 3.0 {cash} [cash]", lines[2])   # only spam: up to its cap
        self.assertRegex(lines[3], r'^1 !Body: 0\.\d "win"  \[win\]$')  # only ham: below 1.0
        self.assertEqual("Body: 1.0 {never} [never]", lines[4])     # no hits: untouched
        self.assertEqual("Size: 9.0 \"1\" [fixed]", lines[8])       # fixed: untouched
        self.assertRegex(lines[6], r'^Header: -(1\.[0-9]|2\.0) "References:" \[thread\]$')
        self.assertEqual(RULES.split("\n")[9:], lines[9:])

    def test_a_second_run_changes_nothing_and_check_agrees(self):
        self.fit()
        first = self.lines()
        self.assertEqual(0, self.fit().returncode)
        self.assertEqual(first, self.lines())
        self.assertEqual(0, self.fit("--check").returncode)

    def test_check_fails_on_scores_that_were_not_fitted(self):
        result = self.fit("--check")
        self.assertEqual(1, result.returncode)
        self.assertIn("does not hold the fitted scores", result.stdout)
        self.assertEqual(RULES.split("\n"), self.lines())

    def test_folds_report_every_message_once(self):
        result = self.fit("--folds", "2")
        self.assertEqual(0, result.returncode)
        self.assertIn("all folds: recall", result.stdout)
        self.assertIn("of 10 spam)", result.stdout)
        self.assertIn("of 10 ham)", result.stdout)


if __name__ == "__main__":
    unittest.main()
