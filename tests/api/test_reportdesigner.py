"""The Python module on the example reports: one-call renders with parameters and rows,
a Report rendered again, errors and cancelling as exceptions, renders on threads."""
import os
import subprocess
import sys
import threading

import pytest
import reportdesigner

EXAMPLES = os.environ["RPT_EXAMPLES_DIR"]


def example(name):
    return os.path.join(EXAMPLES, name)


def test_render_with_parameters_and_rows(tmp_path):
    out = tmp_path / "austria.csv"
    rows = reportdesigner.render(example("orders_by_country.rpt"), str(out),
                                 params={"COUNTRY": "Austria", "FROM": "2024-01-01", "TO": "2024-06-30"})
    assert rows == 37 and len(out.read_text(encoding="utf-8").splitlines()) >= 37
    given = [{"order_id": 1, "order_date": "2024-01-02", "customer_id": 7, "company": "Ærø Ltd",
              "ship_via": "Rail", "line_count": 2, "goods": 10.5, "freight": None},
             {"order_id": 2, "order_date": "2024-01-03", "customer_id": 7, "company": "Ærø Ltd",
              "line_count": 1, "goods": 3, "freight": 1.5}]
    pages = reportdesigner.render(example("orders_by_customer.rpt"), str(tmp_path / "rows.pdf"), rows=given)
    assert pages == 1 and (tmp_path / "rows.pdf").read_bytes().startswith(b"%PDF-")
    assert reportdesigner.render(example("orders_by_customer.rpt"), str(tmp_path / "rows.csv"), rows=given) == 2
    assert "2,2024-01-03,,1,3.00,1.50,4.50" in (tmp_path / "rows.csv").read_text(encoding="utf-8")


def test_report_renders_again_with_other_values(tmp_path):
    report = reportdesigner.Report(example("orders_by_country.rpt"))
    assert [p["name"] for p in report.parameters] == ["COUNTRY", "FROM", "TO"]
    report.set_parameters({"FROM": "2024-01-01", "TO": "2024-06-30"})
    counts = {}
    for country in ("Austria", "France"):
        report.set_parameter("COUNTRY", country)
        counts[country] = report.render(str(tmp_path / (country + ".xlsx")))
    assert counts["Austria"] == 37 and counts["France"] > 0 and counts["France"] != counts["Austria"]
    assert report.render_bytes("png", dpi=30).startswith(b"\x89PNG")


def test_errors_are_python_exceptions(tmp_path):
    with pytest.raises(reportdesigner.Error, match="no parameter NOPE"):
        reportdesigner.render(example("orders_by_country.rpt"), str(tmp_path / "x.pdf"), params={"NOPE": 1})
    bad = tmp_path / "bad.json"
    bad.write_text('[{"a": 1},\n {"a": }]')
    with pytest.raises(reportdesigner.Error, match="bad.json, line 2"):
        reportdesigner.render(example("orders_by_customer.rpt"), str(tmp_path / "x.pdf"), data=str(bad))
    with pytest.raises(reportdesigner.Error):
        reportdesigner.Report.from_bytes(b"not a report")
    with pytest.raises(reportdesigner.Error, match="Row 1"):
        reportdesigner.Report(example("orders_by_customer.rpt")).bind_rows([{"a": object()}])
    assert list(tmp_path.iterdir()) == [bad]


def test_progress_callback_cancels_and_raises(tmp_path):
    seen = []

    def stop_at_two(page, records):
        seen.append((page, records))
        return page < 2

    out = tmp_path / "cancelled.pdf"
    with pytest.raises(reportdesigner.Cancelled):
        reportdesigner.render(example("orders_by_customer.rpt"), str(out), progress=stop_at_two)
    assert [p for p, _ in seen] == [1, 2] and seen[1][1] > seen[0][1] and not out.exists()

    def broken(page, records):
        raise ValueError("from the callback")

    with pytest.raises(ValueError, match="from the callback"):
        reportdesigner.render(example("orders_by_customer.rpt"), str(out), progress=broken)
    assert not out.exists()


def test_threads_render_at_once_without_the_lock(tmp_path):
    # Each render waits in its callback until all four are under way: only possible
    # when none holds the interpreter's lock while it renders.
    # PDFs with a fixed creation time compare byte for byte.
    names = ["orders_by_customer.rpt", "customer_cards.rpt", "order_details.rpt", "monthly_sales.rpt"]
    expected = [reportdesigner.Report(example(n)).render_bytes("pdf", pdf_created=0) for n in names]
    started = threading.Barrier(len(names), timeout=60)
    results = [None] * len(names)

    def run(i):
        def wait_for_all(page, records):
            if page == 1:
                started.wait()
        results[i] = reportdesigner.Report(example(names[i])).render_bytes("pdf", pdf_created=0,
                                                                            progress=wait_for_all)

    threads = [threading.Thread(target=run, args=(i,)) for i in range(len(names))]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert results == expected


def test_the_guides_script_renders_json_rows(tmp_path):
    script = os.path.join(EXAMPLES, "api", "render_orders.py")
    done = subprocess.run([sys.executable, script, os.path.join(EXAMPLES, "api", "orders.json"),
                           str(tmp_path / "orders.pdf"), example("orders_by_customer.rpt")],
                          capture_output=True, text=True, check=True)
    assert done.stdout.splitlines()[-1] == f"{tmp_path / 'orders.pdf'}: 2 pages"
    assert (tmp_path / "orders.pdf").read_bytes().startswith(b"%PDF-")
