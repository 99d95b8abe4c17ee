#pragma once

class QWidget;

// The spinner over the lookup page's web view, switched by the query
// controllers of every tab without a reference to the page. The page
// registers its spinner and web view once; before that both calls do nothing.
void setLoadingIndicatorTargets(QWidget* spinner, QWidget* webView);
void showLoadingIndicator();
// Hides the spinner and lets the web view scroll again.
void hideLoadingIndicator();
