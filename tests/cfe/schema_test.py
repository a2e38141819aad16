"""The JSON Schemas of docs/ are valid schemas, and the documented example
sale and cancellation are valid under them."""
import json
import pathlib
import sys

import jsonschema

root = pathlib.Path(sys.argv[1])
checks = [
    ("docs/cfe-venda.schema.json", "docs/examples/venda.json"),
    ("docs/cfe-cancelamento.schema.json", "fuzz/corpus/cfe_json/cancelamento.json"),
]
for schema_file, example in checks:
    schema = json.loads((root / schema_file).read_text())
    jsonschema.Draft202012Validator.check_schema(schema)
    validator = jsonschema.Draft202012Validator(schema)
    errors = sorted(validator.iter_errors(json.loads((root / example).read_text())), key=str)
    for error in errors:
        print(f"{example}: {'/'.join(map(str, error.path))}: {error.message}")
    if errors:
        sys.exit(1)
    # A misspelt field is refused, as the reader refuses it.
    wrong = json.loads((root / example).read_text())
    wrong["ide"]["numeroCaixas"] = "001"
    if validator.is_valid(wrong):
        print(f"{schema_file}: a misspelt field passes")
        sys.exit(1)
print("schemas and examples agree")
