/* Shared script of the home and result pages. */
(function () {
  'use strict';

  // A small selector helper with the few methods the pages and the
  // application use: $(selector).first().removeClass('x') and friends.
  function Collection(nodes) { this.nodes = nodes; this.length = nodes.length; }
  Collection.prototype.first = function () { return new Collection(this.nodes.slice(0, 1)); };
  Collection.prototype.eq = function (i) { return new Collection(this.nodes.slice(i, i + 1)); };
  Collection.prototype.each = function (fn) { this.nodes.forEach(function (n, i) { fn.call(n, i, n); }); return this; };
  Collection.prototype.addClass = function (c) { return this.each(function () { this.classList.add(c); }); };
  Collection.prototype.removeClass = function (c) { return this.each(function () { this.classList.remove(c); }); };
  Collection.prototype.toggleClass = function (c) { return this.each(function () { this.classList.toggle(c); }); };
  Collection.prototype.hasClass = function (c) { return this.nodes.some(function (n) { return n.classList.contains(c); }); };
  Collection.prototype.show = function () { return this.each(function () { this.style.display = ''; }); };
  Collection.prototype.hide = function () { return this.each(function () { this.style.display = 'none'; }); };
  Collection.prototype.html = function (h) {
    if (h === undefined) return this.nodes.length ? this.nodes[0].innerHTML : undefined;
    return this.each(function () { this.innerHTML = h; });
  };
  Collection.prototype.text = function (t) {
    if (t === undefined) return this.nodes.length ? this.nodes[0].textContent : undefined;
    return this.each(function () { this.textContent = t; });
  };
  Collection.prototype.attr = function (k, v) {
    if (v === undefined) return this.nodes.length ? this.nodes[0].getAttribute(k) : undefined;
    return this.each(function () { this.setAttribute(k, v); });
  };
  Collection.prototype.find = function (sel) {
    var out = [];
    this.nodes.forEach(function (n) { out = out.concat(Array.prototype.slice.call(n.querySelectorAll(sel))); });
    return new Collection(out);
  };
  Collection.prototype.on = function (type, fn) { return this.each(function () { this.addEventListener(type, fn); }); };

  window.$ = function (what) {
    if (typeof what === 'function') {
      if (document.readyState !== 'loading') what();
      else document.addEventListener('DOMContentLoaded', what);
      return undefined;
    }
    if (typeof what === 'string') return new Collection(Array.prototype.slice.call(document.querySelectorAll(what)));
    if (what && what.nodeType) return new Collection([what]);
    return new Collection([]);
  };

  function call(name) {
    var args = Array.prototype.slice.call(arguments, 1);
    if (window.framewnd && typeof window.framewnd[name] === 'function') window.framewnd[name].apply(null, args);
  }

  // Links and buttons of the rendered entries only carry data attributes;
  // one handler sends them to the application.
  document.addEventListener('click', function (ev) {
    // The engine hands links of unknown schemes to the desktop instead of
    // asking the application, so the encyclopedia's main page is asked for here.
    var link = ev.target && ev.target.closest ? ev.target.closest('a[href]') : null;
    if (link && /^baike:\/\/mainPage/i.test(link.getAttribute('href'))) {
      ev.preventDefault();
      call('doLog', 'action', 'mainpage_wiki_click', null);
      call('goTab', 'baike', 'main_page', 0);
      return;
    }
    var el = ev.target;
    while (el && el !== document && !(el.dataset && (el.dataset.query !== undefined || el.dataset.audio ||
           el.dataset.url || el.dataset.tab || el.dataset.wordbookAdd !== undefined ||
           el.dataset.wordbookRemove !== undefined || el.dataset.pagetab !== undefined ||
           el.classList.contains('wt-toggle') || el.classList.contains('synoword')))) {
      el = el.parentNode;
    }
    if (!el || el === document) return;
    var d = el.dataset;
    if (d.logKey) call('doLog', d.logKey, d.logValue || '', null);
    if (d.pagetab !== undefined) { goPageTab(parseInt(d.pagetab, 10) || 0); ev.preventDefault(); return; }
    if (el.classList.contains('wt-toggle')) {
      var box = el.closest('.wt-container');
      if (box) box.classList.toggle('wt-collapse');
      ev.preventDefault();
      return;
    }
    if (el.classList.contains('synoword')) { call('doQuery', d.word || el.textContent); ev.preventDefault(); return; }
    if (d.audio) { call('playAudio', d.audio); ev.preventDefault(); return; }
    if (d.tab) { call('goTab', d.tab, d.word || '', parseInt(d.index || '0', 10)); ev.preventDefault(); return; }
    if (d.query !== undefined) { call('doQuery', d.query); ev.preventDefault(); return; }
    if (d.url) { call('goURL', d.url); ev.preventDefault(); return; }
    if (d.wordbookAdd !== undefined || d.wordbookRemove !== undefined) {
      // One star both adds and removes, by what it shows now.
      // It changes only when the application calls wordBookChanged: the
      // word is stored, or gone, by then.
      if (el.classList.contains('in-wordbook')) {
        call('removeFromWordBook', d.word || '');
      } else {
        call('addToWordBook', d.word || '', d.definition || '', d.phonetic || '');
      }
      ev.preventDefault();
    }
  });

  // --- functions the application calls ------------------------------------

  // Every star of that word shows whether it is in the word book.
  window.wordBookChanged = function (word, inBook) {
    document.querySelectorAll('[data-wordbook-add], [data-wordbook-remove]').forEach(function (el) {
      if ((el.dataset.word || '') !== word) return;
      el.classList.toggle('in-wordbook', !!inBook);
      el.textContent = inBook ? '\u2605' : '\u2606';
      el.title = inBook ? '从单词本中删除' : '添加到单词本';
    });
  };

  window.hideSuggest = function () { $('#suggest').hide(); document.body.classList.remove('suggesting'); };
  window.showSuggest = function () { $('#suggest').show(); document.body.classList.add('suggesting'); };

  // Web-translation blocks arrive folded from the template and open on a
  // click on their toggle (handled above); the application opens the first
  // one itself. Blocks without a toggle can never be opened, so they stay open.
  window.initCollapse = function () {
    $('.wt-container').each(function () {
      if (!this.querySelector('.wt-toggle')) this.classList.remove('wt-collapse');
    });
  };

  window.goPageTab = function (index) {
    var tabs = document.querySelectorAll('.page-tab');
    var panes = document.querySelectorAll('.page-pane');
    if (!panes.length) return;
    if (index < 0 || index >= panes.length) index = 0;
    Array.prototype.forEach.call(tabs, function (t, i) { t.classList.toggle('active', i === index); });
    Array.prototype.forEach.call(panes, function (p, i) { p.style.display = i === index ? '' : 'none'; });
  };

  // Article images carry their address in data-src until the article shows.
  window.wikipediaSetImgSrc = function () {
    $('img[data-src]').each(function () {
      var src = this.getAttribute('data-src');
      if (src.indexOf('//') === 0) src = 'https:' + src;
      if (/^https?:\/\//.test(src)) this.setAttribute('src', src);
      this.removeAttribute('data-src');
    });
  };

  // --- home page ----------------------------------------------------------

  window.updateContent = function (line, wiki, thumb) {
    var daily = null;
    try { daily = JSON.parse(line); } catch (e) { daily = null; }
    if (daily) {
      $('#daily-type').text(daily.type || '');
      $('#daily-sen').text(daily.sen || '');
      $('#daily-trans').text(daily.trans || '');
    }
    $('#wiki-summary').text(wiki || '');
    var img = document.getElementById('wiki-thumb');
    if (img) {
      // Without the service the picture cannot come: no broken image then.
      img.onerror = function () { img.style.display = 'none'; };
      if (/^https?:\/\//.test(thumb || '')) { img.setAttribute('src', thumb); img.style.display = ''; }
      else img.style.display = 'none';
    }
  };

  window.goOperation = function (link) { call('goURL', link); };
})();
