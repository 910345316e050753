"""Build a bundled model from its recipe and print its figures.

  make-model [--test] [--no-figures] [--data TOP=DIR] NAME [OUT.model]

Reads the recipe models/settings/NAME (see fullstop_tools/settings.py),
writes one training text per seed (its train sets, converted and weighted,
with their augmented copies), fits each with scripts/train-model and the
recipe's fit options, averages the fits (scripts/average-models, pruned as
the recipe says) into OUT.model (default models/NAME.model), and prints the figures of the
recipe's score and edge lines: evaluation mode on SET.lines, boundary F1 on
SET.txt and its restyled copies (all boundaries and in paragraph; with
merge=';:' also against the gold with sentences ending there joined to the
next), and the edge-case suite.  --test adds the recipe's test sets: report
them, never tune on them.  The Brown splits and their restyled copies are
built when missing.

FULLSTOP_BIN and FULLSTOP_TRAIN name other programs than build/fullstop and
build/fullstop-train.  Two runs with the same recipe write the same bytes.
"""

import argparse
import os
import subprocess
import sys
import tempfile

from . import edge_cases, locations, restyle, scoring, settings, trainset

COPIES = ("", "-quotes-outside", "-typographic", "-crlf", "-wrapped")


def programs():
    detector = os.environ.get("FULLSTOP_BIN") or os.path.join(locations.BIN, "fullstop")
    trainer = os.environ.get("FULLSTOP_TRAIN") or os.path.join(locations.BIN, "fullstop-train")
    for path in (detector, trainer):
        if not os.access(path, os.X_OK):
            sys.exit("make-model: no %s; build first: cmake -S . -B build -G Ninja && "
                     "cmake --build build" % path)
    return detector, trainer


def fit(recipe, seed, out, scratch, detector, trainer, extra_options=(), data=None):
    """One fit: the recipe's training text for seed, trained into out (data:
    other folders for the train sets, as trainset.source_file takes)."""
    lines = os.path.join(scratch, "train-%d.lines" % seed)
    trainset.write(recipe, seed, lines, data)
    env = dict(os.environ, FULLSTOP_BIN=detector, FULLSTOP_TRAIN=trainer)
    subprocess.run([os.path.join(locations.SCRIPTS, "train-model")] + recipe.fit
                   + list(extra_options) + [lines, out], env=env, check=True)
    os.unlink(lines)


def build(recipe, out, detector, trainer, data=None):
    """The recipe's model in out: one fit per seed, averaged.  data: other
    folders for the train sets (bench/languages trains on held-out folds)."""
    with tempfile.TemporaryDirectory(prefix="make-model.") as scratch:
        fits = []
        for seed in recipe.seeds:
            path = os.path.join(scratch, "fit-%d.model" % seed)
            fit(recipe, seed, path, scratch, detector, trainer, data=data)
            fits.append(path)
        prune = [] if recipe.min_weight is None else ["--min-weight", repr(recipe.min_weight)]
        subprocess.run([sys.executable, os.path.join(locations.SCRIPTS, "average-models"),
                        "-o", out] + prune + fits, check=True)


def set_files(name):
    """SET (brown/dev, ud/en_ewt-dev) -> the path without extension."""
    top, _, rest = name.partition("/")
    if top not in locations.DATA or not rest:
        raise settings.RecipeError("score %s: a set is brown/NAME or ud/NAME" % name)
    return os.path.join(locations.DATA[top], rest)


def ensure_sets(names):
    """Builds the Brown splits and their restyled copies when missing."""
    brown_dir = locations.DATA["brown"]
    if any(n.startswith("brown/") for n in names):
        trainset.source_file(settings.Source("brown/train"))
        if not os.path.exists(os.path.join(brown_dir, "test-wrapped.gold")):
            restyle.main(["--all", "--dir", brown_dir])


def f1(text, gold, system, merge=""):
    """(F1 all, F1 in paragraph) as scripts/score-boundaries computes them."""
    with open(text, "rb") as f:
        data = f.read()
    with open(gold, "rb") as f:
        spans = scoring.parse_spans(f.read())
    if merge:
        spans = scoring.merge_gold(data, spans, merge.encode())
    res = scoring.score(data, spans, scoring.parse_spans(system))
    return res["all_f1"], res["para_f1"]


def figures(model, sets, detector, out=sys.stdout):
    for name, merge in sets:
        base = set_files(name)
        print("== %s: evaluation mode" % name, file=out)
        with open(base + ".lines", "rb") as f:
            r = subprocess.run([detector, "-m", model, "-t"], stdin=f, capture_output=True,
                               check=True)
        out.write("\n".join(r.stdout.decode().splitlines()[-3:]) + "\n")
        head = "== %s: boundary F1          all    in-par" % name
        print(head + (" | merge %s: all  in-par" % merge if merge else ""), file=out)
        for copy in COPIES:
            if not os.path.exists(base + copy + ".txt"):
                continue
            with open(base + copy + ".txt", "rb") as f:
                system = subprocess.run([detector, "-m", model], stdin=f, capture_output=True,
                                        check=True).stdout
            row = "   %-24s %.4f %.4f" % (os.path.basename(base + copy),
                                          *f1(base + copy + ".txt", base + copy + ".gold", system))
            if merge:
                row += " |             %.4f %.4f" % f1(base + copy + ".txt", base + copy + ".gold",
                                                       system, merge)
            print(row, file=out)
        out.flush()


def suites(model, files, detector):
    for path in files:
        print("== edge cases: %s" % path, flush=True)
        edge_cases.main(["--fullstop", detector, "--model", model,
                         "--cases", os.path.join(locations.HOME, path)])


def main(argv=None):
    ap = argparse.ArgumentParser(prog="make-model", description=__doc__.split("\n\n")[0],
                                 formatter_class=argparse.RawDescriptionHelpFormatter,
                                 epilog=__doc__.split("\n\n", 1)[1])
    ap.add_argument("name", help="the model's recipe: models/settings/NAME")
    ap.add_argument("out", nargs="?", help="the model file (default: models/NAME.model)")
    ap.add_argument("--test", action="store_true", help="also print the recipe's test sets")
    ap.add_argument("--no-figures", action="store_true", help="build the model only")
    ap.add_argument("--data", action="append", default=[], metavar="TOP=DIR",
                    help="read the train sets TOP/NAME from DIR/NAME.lines instead of data/TOP "
                         "(bench/languages trains on held-out folds so)")
    args = ap.parse_intermixed_args(argv)
    try:
        recipe = settings.load(args.name)
        out = args.out or os.path.join(locations.MODELS, recipe.name + ".model")
        detector, trainer = programs()
        sets = recipe.scores + (recipe.tests if args.test else [])
        ensure_sets([name for name, _ in sets])
        data = {}
        for d in args.data:
            top, eq, folder = d.partition("=")
            if not eq or top not in locations.DATA:
                ap.error("--data %s: give TOP=DIR, TOP one of %s" % (d, ", ".join(locations.DATA)))
            data[top] = folder
        build(recipe, out, detector, trainer, data)
        with open(out, "rb") as f:
            data = f.read()
        print("model: %s (%d records, %d bytes)" % (out, data.count(b"\n"), len(data)), flush=True)
        if not args.no_figures:
            figures(out, sets, detector)
            suites(out, recipe.edges, detector)
    except settings.RecipeError as e:
        sys.exit("make-model: %s" % e)
    except subprocess.CalledProcessError as e:
        sys.exit("make-model: %s failed (exit %d)" % (" ".join(map(str, e.cmd)), e.returncode))
    return 0
