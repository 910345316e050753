"""Phrase pools: names, companies, days, noun phrases cut from the input,
list items, amounts, URLs and references that the transforms write into
sentences, and the helpers that draw from them."""

import re

SURNAMES = ["Smith", "Baker", "Harris", "Wallace", "Morgan", "Carter", "Hughes",
            "Fowler", "Reed", "Lawson", "Dunn", "Parker", "Ellis", "Grant"]
FIRST_NAMES = ["John", "Mary", "Robert", "Helen", "James", "Ruth", "Frank",
               "Alice", "George", "Edna", "Walter", "Jean", "Paul", "Martha"]
COMPANIES = ["Acme", "Dixon Steel", "Harlow Bros.", "Union Mills", "Bell & Reed",
             "Atlas Tool", "Crane Supply", "Midland Oil", "Pioneer Press", "Hart Motors"]
DAYS = ["Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday", "Sunday"]


def fill(template, rng, s=""):
    fields = dict(
        s=s, first=rng.choice(FIRST_NAMES), last=rng.choice(SURNAMES),
        co=rng.choice(COMPANIES), day=rng.choice(DAYS),
        h=rng.randint(1, 12), mm="%02d" % rng.choice((0, 15, 30, 45)))
    if "{A}" in template:  # drawn only here, so other templates draw as before
        fields.update(A=chr(ord("A") + rng.randint(0, 25)), B=chr(ord("A") + rng.randint(0, 25)))
    return template.format(**fields)


def pick(rng, weighted):
    """weighted: [(item, weight)]"""
    items, weights = zip(*weighted)
    return rng.choices(items, weights)[0]


# Material cut from the input: short noun phrases ("the new road", "bridge")
# that make list items and fill templates.

PHRASE = re.compile(r"\b(?i:the|a|an|his|her|their|our|its|this|some|two|three|new) "
                    r"((?:[a-z]{3,} ){0,2}[a-z]{3,})(?=[ ,;.])")
NOT_IN_PHRASE = {
    "was", "were", "is", "are", "had", "has", "have", "been", "be", "and", "but", "that",
    "which", "who", "with", "for", "from", "not", "would", "could", "will", "should", "may",
    "did", "does", "into", "than", "then", "they", "them", "there", "when", "what", "said",
    "can", "must", "might", "this", "its", "his", "her", "their", "our", "one", "all",
    "any", "more", "most", "also", "only", "very", "out", "over", "about", "upon", "after",
    "before", "other", "same", "first", "last", "such", "those", "these", "him", "you",
}


def noun_phrases(paras, limit=20000):
    """Up to limit distinct short phrases of lower-case words, in input order."""
    seen, out = set(), []
    for para in paras:
        for sent in para:
            for m in PHRASE.finditer(sent):
                ws = m.group(1).split()
                while ws and ws[-1] in NOT_IN_PHRASE:
                    ws.pop()
                if not ws or any(w in NOT_IN_PHRASE for w in ws):
                    continue
                p = " ".join(ws)
                if p not in seen:
                    seen.add(p)
                    out.append(p)
                    if len(out) >= limit:
                        return out
    return out


FALLBACK_PHRASES = ["road", "new bridge", "old house", "letters", "water", "city budget"]


def any_phrase(rng, phrases):
    """One of the input's noun phrases, or of the fallbacks when it has none."""
    return rng.choice(phrases) if phrases else rng.choice(FALLBACK_PHRASES)
VERBS = ["check", "buy", "call", "pay", "add", "clean", "send", "write", "read", "bring",
         "fix", "book", "pack", "print", "sign", "order", "wash", "review", "update", "move",
         "open", "close", "find", "ask about", "paint", "measure", "cut", "sort", "file",
         "test", "replace", "visit", "return", "collect", "repair", "prepare", "count", "mark"]
DETERMINERS = [("the ", 6), ("", 5), ("a ", 1), ("two ", 1), ("all ", 1), ("your ", 1)]
# Amounts, times and scores inside items: their periods and colons end nothing.
AMOUNTS = ["{d}.{d2} s", "{n} kg", "{d}.{d} cups", "${n}.{d2}", "at {h}:{mm}", "{h}:{mm} a.m.",
           "{d}.{d} m", "{n}%", "({n} pages)", "{d}.{d2}", "x {n}", "- {n} min", "by {h}:{mm}"]


def amount(rng):
    return rng.choice(AMOUNTS).format(
        d=rng.randint(1, 20), d2="%02d" % rng.randint(0, 99), n=rng.randint(2, 500),
        h=rng.randint(1, 12), mm="%02d" % rng.randint(0, 59))


def short_item(rng, phrases):
    """A list item of one to six words: a noun phrase, an order made from a
    verb and a noun phrase, or either with an amount or a time."""
    np = any_phrase(rng, phrases)
    kind = rng.random()
    if kind < 0.35:
        item = np.split()[-1] if rng.random() < 0.4 else np
    elif kind < 0.55:
        item = rng.choice(VERBS)
    else:
        item = rng.choice(VERBS) + " " + pick(rng, DETERMINERS) + np
    if rng.random() < 0.15:
        item += " " + amount(rng)
    return item

TLDS = ["com", "org", "net", "edu", "gov", "io", "co.uk", "de", "fr"]
FILE_TYPES = ["pdf", "txt", "doc", "csv", "jpg", "zip", "html", "xls", "py", "tar.gz"]


def inner_token(rng, phrases):
    """A URL, address, file name, version or number whose periods and other
    marks sit inside a word."""
    ws = any_phrase(rng, phrases).split()
    w, v = ws[-1], ws[0]
    tld = rng.choice(TLDS)
    kind = rng.randint(0, 9)
    if kind == 0:
        return "www.%s.%s" % (w, tld)
    if kind == 1:
        return "https://%s.%s/%s?%s=%s&%s=%d" % (
            w, tld, v, rng.choice("qpsk"), rng.choice(ws), rng.choice(("lang", "page", "id")),
            rng.randint(1, 99))
    if kind == 2:
        return "http://www.%s.%s/%s/%s.html#%s" % (w, tld, v, "-".join(ws), v[:4])
    if kind == 3:
        return "%s.%s@%s.%s" % (rng.choice(FIRST_NAMES).lower(), rng.choice(SURNAMES).lower(), w, tld)
    if kind == 4:
        return "%s_%s.%s" % (v, rng.randint(1, 30), rng.choice(FILE_TYPES))
    if kind == 5:
        return "v%d.%d.%d" % (rng.randint(0, 9), rng.randint(0, 20), rng.randint(0, 30))
    if kind == 6:
        return "%d.%d" % (rng.randint(0, 999), rng.randint(0, 99))
    if kind == 7:
        return "%d:%02d" % (rng.randint(0, 23), rng.randint(0, 59))
    if kind == 8:
        return "%s.%s/%s?id=%d" % (w, tld, v, rng.randint(1, 9999))
    return "%s.%s" % (w, rng.choice(FILE_TYPES))

# A word followed by a number or a letter and a period, as a list item's
# marker is, where no list begins: dates, references and middle initials.
MONTHS = ["January", "March", "April", "June", "July", "August", "May", "Oct.", "Nov.", "Sept."]
REF_ENDS = ["on {month} {d}.", "in Table {n}.", "in Fig. {n}.", "in Part {A}.",
            "in Appendix {A}.", "in chapter {n}.", "on page {n}.", "to {first} {A}. {last}.",
            "in {year}.", "by Section {n}.", "of Class {A}."]
REF_MIDS = ["{first} {A}. {last}", "on {month} {d}", "in Fig. {n}", "of Part {A}",
            "(Table {n})", "in chapter {n}", "of Judge {first} {A}. {last}"]


def reference(rng, template):
    return template.format(month=rng.choice(MONTHS), d=rng.randint(1, 31),
                           n=rng.randint(1, 40), A=chr(ord("A") + rng.randint(0, 25)),
                           first=rng.choice(FIRST_NAMES), last=rng.choice(SURNAMES),
                           year=rng.randint(1800, 2030))
