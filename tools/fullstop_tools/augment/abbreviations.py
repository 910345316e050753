"""Abbreviations and initials: ending a sentence, inside one, before names,
and cut from the text's own words."""

import re

from .base import PHRASE_GAP, WORD_END, Transform, ends_before_capital, insert_before, lower_first
from .marks import MID_ELLIPSES
from .pools import COMPANIES, SURNAMES, any_phrase, fill, pick

END_ABBREVIATIONS = [
    ("in the U.S.", 4), ("across the U.S.", 1), ("in the U.K.", 2),
    ("at {h} a.m.", 3), ("at {h}:{mm} a.m.", 1), ("by {h} p.m.", 3),
    ("at {h} P.M.", 1), ("before {h} A.M.", 1), (", etc.", 3),
    ("and so on, etc.", 1), (", said {first} {last} Jr.", 2),
    ("at {co} Inc.", 2), ("for {last} & Co.", 2), ("with {co} Ltd.", 1),
    ("at {co} Corp.", 2),
]
MID_ABBREVIATIONS = [
    # Before a lower-case word.
    ("In the U.S. {s}", 3), ("U.S. officials said {s}", 2), ("By {h} p.m. {s}", 2),
    ("{co} Inc. reported that {s}", 1), ("{co} Corp. officials said {s}", 1),
    ("{first} {last} Jr. said {s}", 2), ("Taxes, fees, etc. aside, {s}", 1),
    ("At {h} a.m. on {day}, {s}", 1),
    # Before a capitalised name.
    ("At {h} a.m. {day}, {s}", 2), ("The U.K. Treasury said {s}", 1),
    ("{co} Ltd. President {first} {last} said {s}", 1),
    ("{last} & Co. Chairman {first} {last} said {s}", 1),
    ("At {h} P.M. {day} {s}", 1),
]
MID_ABBREVIATION_ENDS = [
    ("in U.S. courts", 2), ("at {h} a.m. {day}", 2), ("by {co} Inc. officials", 1),
    ("in U.K. ports", 1), ("at {h} p.m. on {day}", 1), ("at {co} Corp. plants", 1),
]


class Abbreviations(Transform):
    name, share = "abbreviations", 0.15
    help = "U.S. a.m. Inc. Ltd. Co. Corp. etc. Jr. ending and inside sentences"
    vocabulary = frozenset()  # set by augment() from the input

    def site(self, para, i):
        s = para[i]
        return bool(WORD_END.search(s)) and s[:1].isalpha()

    def rewrite(self, sent, rng):
        kind = rng.random()
        if kind < 0.5:
            phrase = fill(pick(rng, END_ABBREVIATIONS), rng)
            return sent[:-1] + ("" if phrase.startswith(",") else " ") + phrase
        if kind < 0.8:
            return fill(pick(rng, MID_ABBREVIATIONS), rng,
                        s=lower_first(sent, self.vocabulary))
        return sent[:-1] + " " + fill(pick(rng, MID_ABBREVIATION_ENDS), rng) + "."

INITIALISM_ENDS = [
    ("in the U.S.", 4), ("to the U.S.", 1), ("in the U.K.", 2), ("at the U.N.", 2),
    ("in Washington, D.C.", 2), ("a Ph.D.", 1), ("at {h} p.m.", 2), ("at {h} P.M.", 2),
    ("at {h} a.m.", 2), ("by {h}:{mm} A.M.", 1), ("on Main St.", 1), ("in {last} St.", 1),
    ("at {co} Inc.", 1), ("for {last} & Co.", 1), ("with {first} {last} Jr.", 1),
    ("in the E.U.", 1), ("about {h}00 B.C.", 1), ("in the U.S.S.R.", 1), ("for the N.A.A.C.P.", 1),
]
INITIALISM_MIDS = [
    ("U.S. Senator {last}", 3), ("the U.N. Security Council", 2), ("U.S. Army", 2),
    ("the U.K. Treasury", 1), ("Washington, D.C. police", 1), ("St. Louis", 2),
    ("Dr. {last}", 2), ("U.S. Steel", 1), ("{first} {last} Jr. and his wife", 1),
    ("the U.S. Navy", 1), ("{h} p.m. {day}", 1), ("Mr. {first} {last}", 1),
    # Initials written together before a surname: "U.S." and "D.C." end many
    # sentences, "A.B. Carver" ends none.
    ("{A}.{B}. {last}", 2), ("Dr. {A}.{B}. {last}", 1),
]


class Initialisms(Transform):
    name, share = "initialisms", 0.15
    help = "U.S. D.C. p.m. St. ending a sentence before a capital, and before names inside one"

    def site(self, para, i):
        return ends_before_capital(para, i)

    def rewrite(self, sent, rng):
        if rng.random() < 0.55:
            return sent[:-1] + " " + fill(pick(rng, INITIALISM_ENDS), rng)
        gaps = list(PHRASE_GAP.finditer(sent))
        phrase = fill(pick(rng, INITIALISM_MIDS), rng)
        if not gaps:
            return sent[:-1] + " near " + phrase + "."
        m = rng.choice(gaps)
        return sent[:m.start()] + " with " + phrase + " " + sent[m.end():]


# Marks inside a sentence that a lower-case word (or a number, or "I") goes on
# after: an abbreviation before its number or the rest of the clause, a
# quoted or parenthesised exclamation or question, an ellipsis before "I".
# Brown has few of them, so a period before a lower-case word is left to the
# period's own weight and splits "etc. to the shop".
CONTINUED_ABBREVIATIONS = [
    ("{np}, {np2}, etc.", 4), ("approx. {nw} {unit}", 2), ("approx. {n} {unit}", 1),
    ("about {n} {abbr_unit}", 3), ("{n} {abbr_unit} of {np}", 2), ("in vol. {n}", 2),
    ("on p. {n}", 2), ("on pp. {n}-{m}", 1), ("in fig. {n}", 1), ("in ch. {n}", 1),
    ("in sec. {n}", 1), ("as no. {n}", 1), ("e.g. {np}", 2), ("i.e. {np}", 2),
    ("cf. {np}", 1), ("vs. {np}", 1), ("esp. {np}", 1), ("incl. {np}", 1),
    ("{np} et al.", 1), ("{np} and so on, etc.", 1),
    # A citation: "et al." before the year in parentheses.
    ("by {last} et al. ({year})", 2),
    # An abbreviation before a parenthesis that the sentence goes on after.
    ("in {last}ville, {state} ({detail})", 2), ("at {co} Inc. ({detail})", 1),
    ("by {last} & Co. ({detail})", 1), ("as in eqn. ({n})", 1), ("in fig. ({n})", 1),
    ("{np}, {np2}, etc. ({detail})", 1),
]
STATES = ["Pa.", "Calif.", "Mass.", "Va.", "Ore.", "Del.", "Ill.", "Tex.", "Conn.", "Mich.",
          "N.Y.", "N.J.", "D.C.", "Ga.", "Fla.", "Ky.", "Wis.", "Md."]
DETAILS = ["see below", "{n} miles away", "pop. {n},000", "now {np2}",
           "{n}", "in {n} cases", "{np2}"]
AMOUNT_WORDS = ["two", "three", "four", "five", "six", "ten", "twelve", "twenty",
                "fifty", "a hundred", "half a"]
UNITS = ["kilograms", "pounds", "miles", "feet", "hours", "minutes", "dollars", "percent",
         "gallons", "tons", "yards", "acres"]
ABBREVIATED_UNITS = ["in.", "ft.", "yd.", "mi.", "sq. ft.", "cu. in.", "oz.", "lb.", "lbs.",
                     "gal.", "qt.", "pt.", "mm.", "cm.", "km.", "mg.", "kg.", "ml.", "cc.",
                     "sec.", "min.", "hr.", "hrs.", "yr.", "mo.", "deg."]
CONTINUED_NOTES = [
    ('"{Np}!"', 3), ('"{Np}!!"', 2), ('"{Np}!!!"', 1), ('"{Np}?"', 2), ('"{Np}?!"', 1),
    ("({np}!)", 2), ("(a {np}!)", 1), ("({np}?)", 2), ("(is it {np}?)", 1),
    ("(or was it?)", 1), ("(really!)", 1), ("(why?)", 1), ("'{Np}!'", 1), ('"{np}."', 1),
]
# A gap before a lower-case word that carries on the clause.
CONTINUE_GAP = re.compile(r"(?<=[a-z]) (?=(?:for|in|on|to|with|and|but|as|at|from|was|were"
                          r"|is|are|had|has|would|could|will|then|when|after|before|that)"
                          r" [a-z])")
# " I " after a word, where an ellipsis can stand: "Well... I suppose".
BEFORE_I = re.compile(r"(?<=[a-z]),? (?=I )")


class Continuations(Transform):
    name, share = "continuations", 0.2
    help = ("inside a sentence that goes on: an abbreviation before a lower-case word, a"
            " number or a parenthesis (etc. to, vol. 3, Pa. (see below)), a quoted or"
            " parenthesised ! or ? before a lower-case word, an ellipsis before \"I\"")
    phrases = []  # set by augment() from the input

    def site(self, para, i):
        s = para[i]
        return bool(CONTINUE_GAP.search(s) or BEFORE_I.search(s))

    def _fill(self, template, rng):
        def np():
            return any_phrase(rng, self.phrases)
        a = rng.randint(1, 40)
        p = np()
        return template.format(
            np=p, np2=np(), Np=p[0].upper() + p[1:], n=a, m=a + rng.randint(1, 20),
            nw=rng.choice(AMOUNT_WORDS), unit=rng.choice(UNITS),
            abbr_unit=rng.choice(ABBREVIATED_UNITS), last=rng.choice(SURNAMES),
            co=rng.choice(COMPANIES), state=rng.choice(STATES), year=1900 + a * 3,
            detail=rng.choice(DETAILS).format(n=a, m=a + rng.randint(1, 9), np2=np()))

    def rewrite(self, sent, rng):
        gaps = list(CONTINUE_GAP.finditer(sent))
        ellipsis = list(BEFORE_I.finditer(sent))
        kind = rng.random()
        if ellipsis and (kind < 0.15 or not gaps):
            m = rng.choice(ellipsis)
            return sent[:m.start()] + pick(rng, MID_ELLIPSES) + " " + sent[m.end():]
        m = rng.choice(gaps)
        if kind < 0.6:
            insert = self._fill(pick(rng, CONTINUED_ABBREVIATIONS), rng)
        else:
            insert = self._fill(pick(rng, CONTINUED_NOTES), rng)
        return insert_before(sent, m, insert)


# Units and days written short, as recipes, timetables and guides write
# them: "1 tsp. salt", "40 hrs. a week", "a 10-min. walk", "open Mon.-Fri.
# from 9".  Continuations puts its units before "of" or a word like "for",
# which read on anyway; after the content words these go on with, the model
# split "1 tsp. | baking soda" and "40 hrs. | a week".
MEASURE_UNITS = ["tsp.", "tbsp.", "c.", "oz.", "lb.", "lbs.", "pt.", "qt.", "gal.", "doz.", "pkg.",
                 "min.", "mins.", "sec.", "secs.", "hr.", "hrs.", "wk.", "wks.", "mo.", "mos.",
                 "yr.", "yrs.", "mi.", "ft.", "yd.", "sq. ft.", "km.", "kg.", "cm.", "mm.", "deg.",
                 "pcs.", "cal."]
SHORT_DAYS = ["Mon.", "Tue.", "Tues.", "Wed.", "Thu.", "Thur.", "Thurs.", "Fri.", "Sat.", "Sun."]
SHORT_MONTHS = ["Jan.", "Feb.", "Mar.", "Apr.", "Aug.", "Sept.", "Sep.", "Oct.", "Nov.", "Dec."]
PER = ["a week", "a day", "an hour", "a month", "a year", "each", "per person", "per day", "or so",
       "or more", "or less", "or until golden", "or until soft", "at most", "at a time", "in all"]
# Inside a sentence, before the word it goes on with.
MEASURES_INSIDE = [
    ("{n} {unit} {np}", 4), ("{n} {unit} {per}", 4), ("a {n}-{unit} {np}", 2),
    ("{n} to {m} {unit} {per}", 1), ("about {n} {unit} {np}", 1),
    ("open {day}-{day2} from {h} to {h2}", 2), ("from {mon}-{mon2} only", 1),
]
# Ending the sentence: the unit's period is the sentence's too.  Metric
# units are written without one, so after them the period is the
# sentence's alone (`stirred for 2 h.`, `weighed 40 g.`): a lower-case
# letter before a period read as an initial's, and the sentence went on.
MEASURES_AT_END = [("for {n} {unit}", 3), ("about {n} {unit}", 2), ("open {day}-{day2}", 1),
                   ("from {mon}-{mon2}", 1), ("for {n} {si}.", 1), ("of {n} {si}.", 1)]
METRIC_UNITS = ["h", "s", "m", "g", "l", "min", "ms", "mg", "ml", "kg", "km", "cm", "mm", "nm"]


class UnitAbbreviations(Transform):
    name, share = "unit-abbreviations", 0.0
    help = "units and days written short inside a sentence and ending one (1 tsp. salt, Mon.-Fri. from 9)"
    phrases = []  # set by augment() from the input

    def site(self, para, i):
        return bool(CONTINUE_GAP.search(para[i]) or WORD_END.search(para[i]))

    def _fill(self, template, rng):
        n = pick(rng, [(rng.randint(1, 12), 3), (rng.randint(13, 90), 2), ("1/2", 1), ("1/4", 1)])
        days, months = rng.sample(SHORT_DAYS, 2), rng.sample(SHORT_MONTHS, 2)
        return template.format(
            n=n, m=(n + rng.randint(1, 9)) if isinstance(n, int) else 1, unit=rng.choice(MEASURE_UNITS),
            si=rng.choice(METRIC_UNITS),
            np=any_phrase(rng, self.phrases), per=rng.choice(PER), day=days[0], day2=days[1],
            mon=months[0], mon2=months[1], h=rng.randint(7, 11), h2=rng.randint(4, 9))

    def rewrite(self, sent, rng):
        gaps = list(CONTINUE_GAP.finditer(sent))
        if gaps and (rng.random() < 0.7 or not WORD_END.search(sent)):
            m = rng.choice(gaps)
            return insert_before(sent, m, self._fill(pick(rng, MEASURES_INSIDE), rng))
        return sent[:-1] + " " + self._fill(pick(rng, MEASURES_AT_END), rng)


class RedrawnInitials(Transform):
    """Brown's initials are mostly a few letters (J., W., A.), so a fit learns
    those letters before the initial's shape; copies with every letter drawn
    anew (never I, a word of its own) teach the shape."""
    name, share = "redrawn-initials", 0.3
    help = "initials before a name with their letters drawn anew (J. F. Kennedy -> Q. X. Kennedy)"

    def site(self, para, i):
        return bool(INITIALS_BEFORE_NAME.search(para[i]))

    def rewrite(self, sent, rng):
        return INITIALS_BEFORE_NAME.sub(
            lambda m: re.sub(r"[A-Z](?=\.)", lambda _: rng.choice(INITIAL_LETTERS), m.group(0)), sent)


INITIALS_BEFORE_NAME = re.compile(r"\b[A-Z]\.(?: ?[A-Z]\.)* (?=[A-Z][a-z])")
INITIAL_LETTERS = "ABCDEFGHJKLMNOPQRSTUVWXYZ"


class ClosedInitials(Transform):
    """Two or three initials closed up before a name, letters drawn anew
    (`J. Smith`, `J. F. Kennedy` -> `Q.X. Smith`, `D.W.K. Kennedy`), as
    `J.K. Rowling` and `C.S. Lewis` are written.  Brown spaces its initials,
    and unspaced-initials closes up only those few runs, so a fit read a
    closed-up run before an unknown name as an initialism ending a sentence
    (`in the U.S. Then`)."""
    name, share = "closed-initials", 0.0
    help = "initials before a name closed up, letters drawn anew (J. Smith -> Q.X. Smith)"
    THREE = 0.2

    def site(self, para, i):
        return bool(INITIALS_BEFORE_NAME.search(para[i]))

    def rewrite(self, sent, rng):
        def closed(m):
            count = m.group(0).count(".")
            if count < 2:
                count = 3 if rng.random() < self.THREE else 2
            return "".join(rng.choice(INITIAL_LETTERS) + "." for _ in range(count)) + " "
        return INITIALS_BEFORE_NAME.sub(closed, sent)


# Initialisms that end sentences in news, history and biography, each a
# run of closed-up capitals: with runs read whole, each learns weights of
# its own, and the drawn ones below keep an unknown run from reading as a
# name's initials alone, which the closed-up initials' copies would teach.
KNOWN_INITIALISMS = [
    ("the F.B.I.", 2), ("the C.I.A.", 2), ("the I.R.S.", 1), ("the B.B.C.", 1), ("the E.P.A.", 1),
    ("the F.D.A.", 1), ("the N.H.S.", 1), ("the R.A.F.", 1), ("the I.M.F.", 1), ("the A.C.L.U.", 1),
    ("the U.S.A.", 2), ("the U.S.", 3), ("the U.K.", 2), ("the E.U.", 2), ("the U.N.", 2),
    ("L.A.", 2), ("N.Y.", 1), ("Washington, D.C.", 1), ("an M.B.A.", 1), ("a B.A.", 1),
    ("{y} A.D.", 2), ("{h}00 B.C.", 1), ("the U.S.S.R.", 1),
]
END_PREPOSITIONS = ["in", "to", "at", "for", "with", "from", "by", "against", "about", "of"]
ERA_PREPOSITIONS = ["in", "around", "by", "after", "before"]


class InitialismEnds(Transform):
    """A sentence that ends in an initialism, known (`He joined the
    F.B.I.`, `in 1066 A.D.`) or drawn (`for the K.P.W.`), before the next
    sentence's capital."""
    name, share = "initialism-ends", 0.0
    help = "a sentence ending in an initialism before a capital: he joined the F.B.I. After"
    DRAWN = 0.3

    def site(self, para, i):
        return ends_before_capital(para, i)

    def rewrite(self, sent, rng):
        if rng.random() < self.DRAWN:
            count = rng.randint(2, 4)
            run = "the " + "".join(rng.choice(INITIAL_LETTERS) + "." for _ in range(count))
        else:
            run = pick(rng, KNOWN_INITIALISMS).format(y=rng.randint(400, 1900), h=rng.randint(1, 9))
        prep = rng.choice(ERA_PREPOSITIONS if run[0].isdigit() else END_PREPOSITIONS)
        return sent[:-1] + " " + prep + " " + run


# A noun that a letter names one of (`plan B`, `vitamin C`, `Gate E`), by
# weight.  Brown's capital letters before a period are nearly all initials,
# so such a letter ending a sentence read as a name's initial
# (`switch to plan B. | The first plan` ran on).
LETTER_LABEL_NOUNS = [
    ("plan", 3), ("vitamin", 3), ("type", 3), ("group", 3), ("option", 2), ("appendix", 2),
    ("hepatitis", 1), ("class", 1), ("grade", 1), ("section", 1), ("part", 1), ("annex", 1),
    ("exhibit", 1), ("building", 1), ("block", 1), ("gate", 2), ("terminal", 1), ("exit", 1),
    ("platform", 1), ("level", 1), ("phase", 1), ("stage", 1), ("model", 1), ("row", 1),
    ("wing", 1), ("ward", 1), ("room", 1), ("division", 1), ("category", 1), ("tier", 1),
    ("size", 1), ("box", 1), ("figure", 1), ("table", 1), ("schedule", 1), ("zone", 1),
    ("lot", 1), ("unit", 1), ("track", 1), ("pool", 1), ("league", 1), ("series", 1),
]
LABEL_LETTERS = [("ABCDE", 4), ("FGH", 1), ("JKLMNOPQRSTUVWXYZ", 1)]


class LetterLabels(Transform):
    """A sentence that ends in a letter naming one of a kind (`to plan B`,
    `rich in vitamin C`, `from Gate E`) before the next sentence's capital.
    The noun is mostly in lower case: a capitalised word before a capital
    letter's period is most often a first name before its middle initial
    (`Martha P. Quinn`).  A quarter of the copies give the noun a number
    after `No.` or `no.` instead (`at gate No. 5.`), where the sentence
    goes on after the abbreviation: with letters alone the noun itself came
    to weigh for a boundary two tokens on (`gate no. | 5`).  Mostly `No.`:
    with a third after `no.`, `Oh no. | The car` read on."""
    name, share = "letter-labels", 0.0
    help = "a sentence ending in a letter that names one of a kind: switch to plan B. The"

    def site(self, para, i):
        return ends_before_capital(para, i)

    def rewrite(self, sent, rng):
        noun = pick(rng, LETTER_LABEL_NOUNS)
        if rng.random() < 0.15:
            noun = noun.capitalize()
        if rng.random() < 0.25:
            label = "%s %s %d" % (noun, pick(rng, [("No.", 2), ("no.", 1)]), rng.randint(1, 40))
        else:
            label = "%s %s" % (noun, rng.choice(pick(rng, LABEL_LETTERS)))
        return "%s %s %s." % (sent[:-1], rng.choice(END_PREPOSITIONS), label)


# A title before a name, and its plural before two: Brown has hardly any
# "Drs." or "Messrs.", so the model read them as words ending a sentence.
TITLE_BEFORE_NAME = re.compile(r"\b(Dr|Mr|Prof|Gen|Sen|Rep|Gov|Rev)\. ((?:[A-Z]\. )*[A-Z][a-z]+)\b")
PLURAL_TITLES = {"Dr": "Drs.", "Mr": "Messrs.", "Prof": "Profs.", "Gen": "Gens.",
                 "Sen": "Sens.", "Rep": "Reps.", "Gov": "Govs.", "Rev": "Revs."}


class PluralTitles(Transform):
    """A title before a name made plural before two names (`Dr. Smith` ->
    `Drs. Smith and Baker`, `Mr. Hart` -> `Messrs. Hart and Lowe`), as
    reports, papers and news write a pair."""
    name, share = "plural-titles", 0.0
    help = "a title made plural before two names: Dr. Smith -> Drs. Smith and Baker"

    def site(self, para, i):
        return bool(TITLE_BEFORE_NAME.search(para[i]))

    def rewrite(self, sent, rng):
        def plural(m):
            other = rng.choice([n for n in SURNAMES if n != m.group(2)])
            return PLURAL_TITLES[m.group(1)] + " " + m.group(2) + " and " + other
        return TITLE_BEFORE_NAME.sub(plural, sent, count=1)


# Titles written short before a name that Brown hardly writes: ranks,
# offices, the clergy's and French ones.  A closed class, learnt word by
# word: unseen, "met Maj. Anderson" and "door. Det. Ruiz knocked" split
# after the title.  Two-word ranks too ("Lt. Col. Hale"), whose first
# period another title follows, not the name.
RARE_TITLES = ["Maj.", "Adm.", "Cmdr.", "Cdr.", "Cpl.", "Pvt.", "Pfc.", "Sgt.", "Lt.", "Capt.", "Col.",
               "Gen.", "Brig.", "Ens.", "Det.", "Insp.", "Supt.", "Amb.", "Atty.", "Gov.", "Sen.", "Rep.",
               "Pres.", "Treas.", "Hon.", "Ald.", "Fr.", "Msgr.", "Rev.", "Bro.", "Mme.", "Mlle.", "Mmes.",
               "Prof.", "Lt. Col.", "Lt. Gen.", "Maj. Gen.", "Brig. Gen.", "Rear Adm.", "Vice Adm.",
               "Sgt. Maj.", "Det. Sgt.", "Det. Insp.", "Rt. Rev.", "Rt. Hon."]
COMMON_TITLE = re.compile(r"\b(?:Mr|Mrs|Dr|Miss)\.? (?=(?:[A-Z]\. )*[A-Z][a-z])")


class RareTitles(Transform):
    """A common title before a name (`Mr.`, `Mrs.`, `Dr.`, `Miss`) given
    one of the ranks and offices Brown hardly writes (`Maj.`, `Msgr.`,
    `Det. Sgt.`, `Mme.`), wherever the sentence has it: inside, or opening
    a sentence after another's end."""
    name, share = "rare-titles", 0.0
    help = "a common title before a name given a rarer one: Mr. Hale -> Maj. Hale, Msgr. Hale"

    def site(self, para, i):
        return bool(COMMON_TITLE.search(para[i]))

    def rewrite(self, sent, rng):
        return COMMON_TITLE.sub(lambda m: rng.choice(RARE_TITLES) + " ", sent, count=1)


# Words of names that lists, addresses and reports write short before the
# rest of the name ("the Natl. Guard", "Hwy. 61", "the Amer. Acad. of
# Arts").  Brown writes them out, and unseen, each read as a word ending a
# sentence before a capital.  Not the ones that end a sentence as often as
# they go on ("Acme Corp. He", "on Elm Ave. The"): with copies inside a
# name only, the model would read those on.
NAME_ABBREVIATIONS = {
    "National": "Natl.", "International": "Intl.", "American": "Amer.", "Association": "Assn.",
    "Society": "Soc.", "Institute": "Inst.", "University": "Univ.", "College": "Coll.",
    "Academy": "Acad.", "Department": "Dept.", "Division": "Div.", "District": "Dist.",
    "Government": "Govt.", "Commission": "Comm.", "Committee": "Comm.", "Manufacturing": "Mfg.",
    "Hospital": "Hosp.", "Museum": "Mus.", "Library": "Libr.", "Federal": "Fed.", "Central": "Cent.",
    "Memorial": "Mem.", "Highway": "Hwy.", "Route": "Rte.", "Township": "Twp.", "Mount": "Mt.",
    "Fort": "Ft.", "Building": "Bldg.", "Apartment": "Apt.", "Assistant": "Asst.", "Associate": "Assoc.",
}
NAME_WORD = re.compile(r"\b(%s) (?=[A-Z0-9])" % "|".join(NAME_ABBREVIATIONS))
NAME_SHORT = sorted(set(NAME_ABBREVIATIONS.values()))


class NameAbbreviations(Transform):
    """A word of a name written short before the rest of it (`the National
    Guard` -> `the Natl. Guard`, `Highway 61` -> `Hwy. 61`), as lists,
    addresses and reports write them; two in five take another word's
    abbreviation, so that the rarer ones are met too."""
    name, share = "name-abbreviations", 0.0
    help = "a word of a name written short before the rest: the Natl. Guard, Hwy. 61"

    def site(self, para, i):
        return bool(NAME_WORD.search(para[i]))

    def rewrite(self, sent, rng):
        m = rng.choice(list(NAME_WORD.finditer(sent)))
        short = NAME_ABBREVIATIONS[m.group(1)] if rng.random() < 0.6 else rng.choice(NAME_SHORT)
        return sent[:m.start()] + short + " " + sent[m.end():]


# "Ms.", the title most text now gives a woman, is not in Brown, which
# writes "Mrs." and "Miss": unseen, the model read "Ms." as a short word
# ending a sentence.
OLDER_TITLES = re.compile(r"\b(?:Mrs\.|Miss) (?=[A-Z])")


class MsTitle(Transform):
    name, share = "ms-title", 0.5
    help = '"Mrs." and "Miss" before a name written "Ms."'

    def site(self, para, i):
        return bool(OLDER_TITLES.search(para[i]))

    def rewrite(self, sent, rng):
        return OLDER_TITLES.sub("Ms. ", sent)


def cut_short(phrase, rng):
    """An abbreviation made from the phrase's longest word the way writers
    make them: its first 2 to 5 letters ("dep"), or the first letter and one
    to three of the consonants after it ("dpt"); capitalised now and then."""
    word = max(phrase.split(), key=len)
    if len(word) < 4:
        word = rng.choice(["department", "approximately", "estimated", "government"])
    cut = word[:rng.randint(2, min(5, len(word) - 1))]
    if rng.random() < 0.3:
        cut = word[0] + "".join(c for c in word[1:] if c not in "aeiou")[:rng.randint(1, 3)]
    return cut.capitalize() if rng.random() < 0.2 else cut


class GapInsertion(Transform):
    """Text inserted before a word that carries the clause on (CONTINUE_GAP),
    the gap drawn first: insert(rng) makes the text."""
    phrases = []  # set by augment() from the input

    def site(self, para, i):
        return bool(CONTINUE_GAP.search(para[i]))

    def rewrite(self, sent, rng):
        m = rng.choice(list(CONTINUE_GAP.finditer(sent)))
        return insert_before(sent, m, self.insert(rng))


class CutAbbreviations(GapInsertion):
    """Abbreviations no list holds ("yrs.", "mgmt.", "approx.") are words cut
    short.  The listed ones of the other transforms teach their own names;
    these, made anew from the text's words, teach that a period after an
    unknown short word goes on when a lower-case word or a number follows."""
    name, share = "cut-abbreviations", 0.1
    help = "a word of the text cut short (dept. yrs. approx.) before lower case or a number"

    def insert(self, rng):
        p = any_phrase(rng, self.phrases)
        if rng.random() < 0.8:
            return "%s %s." % (p, cut_short(p, rng))
        return "in %s. %d" % (cut_short(p, rng), rng.randint(1, 40))


# Abbreviations in lower case that prose sets before the words they go on
# with ("excl. delivery", "the dept. head", "max. power").
LOWER_ABBREVIATIONS = ["excl.", "incl.", "dept.", "govt.", "est.", "max.", "min.", "trans.", "intro.",
                       "approx.", "avg.", "misc.", "qty.", "std.", "tel.", "ext.", "attn.", "asst.",
                       "mgmt.", "assoc.", "univ.", "natl.", "intl.", "orig.", "prev.", "temp.", "ref.",
                       "rev.", "ed.", "repr.", "publ.", "abbr.", "adj.", "cont.", "div.", "encl.",
                       "equiv.", "esp.", "mfg.", "mgr.", "pop.", "prod.", "rec.", "reg.", "tech.",
                       "wt.", "yr.", "hwy."]
INNER_ABBREVIATION_FORMS = [("{a} {np}", 4), ("the {a} {np}", 3), ("({a} {np})", 1), ("{a} {np2} and {np}", 1)]


class InnerAbbreviations(GapInsertion):
    """An abbreviation before the content word that the sentence goes on
    with (`excl. delivery`, `the dept. head`): continuations and
    cut-abbreviations set theirs before "of", "for" or "in", which read on
    anyway, and with the lower-case starts of web text the model split
    `Prices excl. | delivery start at`.  Listed ones only: with half of
    them cut from the text's own words (as cut-abbreviations makes them)
    unknown ones read on too, but so did the web text's lower-case
    sentences after short words (`it opens fine now. thx!`)."""
    name, share = "inner-abbreviations", 0.0
    help = "an abbreviation before a content word inside a sentence (excl. delivery, the dept. head)"

    def insert(self, rng):
        p, p2 = any_phrase(rng, self.phrases), any_phrase(rng, self.phrases)
        a = rng.choice(LOWER_ABBREVIATIONS)
        return pick(rng, INNER_ABBREVIATION_FORMS).format(a=a, np=p, np2=p2)


# Two or more initials before a name, as Brown spaces them ("J. F. Kennedy"),
# and as much other text writes them ("J.F. Kennedy"): unspaced, the last
# initial reads like the end of "U.S." or "D.C.", which ends many sentences.
SPACED_INITIALS = re.compile(r"\b[A-Z]\.(?: [A-Z]\.)+ (?=[A-Z][a-z])")


class UnspacedInitials(Transform):
    name, share = "unspaced-initials", 1.0
    help = "J. F. Kennedy written J.F. Kennedy"

    def site(self, para, i):
        return bool(SPACED_INITIALS.search(para[i]))

    def rewrite(self, sent, rng):
        return SPACED_INITIALS.sub(lambda m: m.group(0)[:-1].replace(". ", ".") + " ", sent)
