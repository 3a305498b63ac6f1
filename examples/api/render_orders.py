#!/usr/bin/python3
"""Renders the orders-by-customer example from a JSON file of orders into a PDF:
    render_orders.py orders.json orders.pdf [REPORT.rpt]"""
import json
import sys

import reportdesigner

report = sys.argv[3] if len(sys.argv) > 3 else "/usr/share/report-designer/examples/orders_by_customer.rpt"
with open(sys.argv[1], encoding="utf-8") as f:
    orders = json.load(f)  # a list of objects: order_id, order_date, company, goods, ...
# The report groups by customer: its rows come in that order.
orders.sort(key=lambda o: (o["company"], o["customer_id"], o["order_date"], o["order_id"]))
try:
    pages = reportdesigner.render(report, sys.argv[2], rows=orders,
                                  progress=lambda page, records: print(f"page {page}: {records} orders"))
except reportdesigner.Error as e:
    sys.exit(f"render_orders: {e}")
print(f"{sys.argv[2]}: {pages} pages")
