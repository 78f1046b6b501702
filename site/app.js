// Parcel lookup with made-up, repeatable data: the same number always gives the same route.
(function () {
  'use strict';

  var CARRIERS = [
    { id: 'qn', name: '青鸟速运', prefix: 'QN', phone: '400-810-1001' },
    { id: 'cf', name: '长风快递', prefix: 'CF', phone: '400-820-2002' },
    { id: 'yl', name: '云岭物流', prefix: 'YL', phone: '400-830-3003' },
    { id: 'dg', name: '东港速递', prefix: 'DG', phone: '400-840-4004' },
    { id: 'xq', name: '星桥快运', prefix: 'XQ', phone: '400-850-5005' },
    { id: 'yy', name: '邮驿包裹', prefix: 'YY', phone: '400-860-6006' }
  ];
  var CITIES = [
    ['北京市', '朝阳区'], ['上海市', '浦东新区'], ['广东省', '广州市'], ['广东省', '深圳市'],
    ['浙江省', '杭州市'], ['江苏省', '南京市'], ['四川省', '成都市'], ['湖北省', '武汉市'],
    ['陕西省', '西安市'], ['福建省', '厦门市'], ['山东省', '青岛市'], ['湖南省', '长沙市'],
    ['河南省', '郑州市'], ['云南省', '昆明市'], ['辽宁省', '沈阳市'], ['重庆市', '渝北区']
  ];
  var HUBS = ['转运中心', '分拨中心', '集散中心'];
  var SURNAMES = '王李张刘陈杨赵黄周吴徐孙马朱胡郭';
  var SIGNERS = ['本人', '家人', '门卫', '前台', '快递柜'];
  var STATUS = ['已揽收', '运输中', '派送中', '已签收'];

  function hash(s) {
    var h = 2166136261;
    for (var i = 0; i < s.length; i++) {
      h ^= s.charCodeAt(i);
      h = Math.imul(h, 16777619) >>> 0;
    }
    return h;
  }

  function generator(seed) {
    return function () {
      seed = (seed + 0x6d2b79f5) >>> 0;
      var t = seed;
      t = Math.imul(t ^ (t >>> 15), t | 1);
      t ^= t + Math.imul(t ^ (t >>> 7), t | 61);
      return ((t ^ (t >>> 14)) >>> 0) / 4294967296;
    };
  }

  function normalize(no) {
    return String(no || '').replace(/\s+/g, '').toUpperCase();
  }

  function valid(no) {
    return /^[A-Z0-9]{6,30}$/.test(no);
  }

  function findCarrier(no, id) {
    var i;
    for (i = 0; i < CARRIERS.length; i++) if (CARRIERS[i].id === id) return CARRIERS[i];
    for (i = 0; i < CARRIERS.length; i++) if (no.indexOf(CARRIERS[i].prefix) === 0) return CARRIERS[i];
    return CARRIERS[hash(no) % CARRIERS.length];
  }

  function pad(n) { return (n < 10 ? '0' : '') + n; }

  function stamp(ms) {
    var d = new Date(ms);
    return d.getUTCFullYear() + '-' + pad(d.getUTCMonth() + 1) + '-' + pad(d.getUTCDate()) + ' ' +
      pad(d.getUTCHours()) + ':' + pad(d.getUTCMinutes()) + ':' + pad(d.getUTCSeconds());
  }

  // The parcel record for a number: carrier, route, status and events (oldest first).
  function lookup(no, carrierId) {
    var carrier = findCarrier(no, carrierId);
    var rnd = generator(hash(carrier.id + ':' + no));
    var pick = function (list) { return list[Math.floor(rnd() * list.length)]; };
    var from = pick(CITIES), to = from, via = pick(CITIES);
    while (to === from) to = pick(CITIES);
    var person = function () { return SURNAMES.charAt(Math.floor(rnd() * SURNAMES.length)) + '师傅'; };
    var phone = '1' + (35 + Math.floor(rnd() * 50)) + '****' + String(1000 + Math.floor(rnd() * 9000));
    var hub = function (c) { return c[1] + HUBS[Math.floor(rnd() * HUBS.length)]; };
    var fromHub = hub(from), viaHub = hub(via), toHub = hub(to);
    var branch = to[1] + pick(['东城', '西湖', '高新', '滨江', '南湖', '新区']) + '营业部';

    var steps = [
      [0, '【' + from[1] + '】' + carrier.name + ' ' + from[1] + '收件点 已揽收，揽收员：' + person()],
      [0, '快件已到达【' + fromHub + '】'],
      [1, '快件已从【' + fromHub + '】发出，下一站【' + (via !== from && via !== to ? viaHub : toHub) + '】']
    ];
    if (via !== from && via !== to) {
      steps.push([1, '快件已到达【' + viaHub + '】']);
      steps.push([1, '快件已从【' + viaHub + '】发出，下一站【' + toHub + '】']);
    }
    steps.push([1, '快件已到达【' + toHub + '】']);
    steps.push([2, '【' + to[1] + '】快件已到达【' + branch + '】']);
    steps.push([2, '【' + to[1] + '】快递员 ' + person() + '（' + phone + '）正在为您派送']);
    steps.push([3, '【' + to[1] + '】已签收，签收人：' + pick(SIGNERS) + '。感谢使用' + carrier.name + '，期待再次为您服务']);

    var count = rnd() < 0.55 ? steps.length : 1 + Math.floor(rnd() * (steps.length - 1));
    var t = Date.UTC(2026, 2, 1) + Math.floor(rnd() * 200) * 86400000 + (8 + Math.floor(rnd() * 10)) * 3600000;
    var events = [];
    for (var i = 0; i < count; i++) {
      t += i === 0 ? Math.floor(rnd() * 3600) * 1000 : (1800 + Math.floor(rnd() * 9 * 3600)) * 1000;
      // Couriers work by day: the last-mile steps fall between 08:00 and 21:00.
      var hour = new Date(t).getUTCHours();
      if (steps[i][0] >= 2 && hour < 8) t += (8 - hour) * 3600000;
      if (steps[i][0] >= 2 && hour >= 21) t += (32 - hour) * 3600000;
      events.push({ time: stamp(t), text: steps[i][1], stage: steps[i][0] });
    }
    var stage = events[events.length - 1].stage;
    return { no: no, carrier: carrier, from: from.join(' '), to: to.join(' '),
      status: STATUS[stage], delivered: stage === 3, events: events };
  }

  function $(id) { return document.getElementById(id); }

  function asText(r) {
    var lines = ['运单号：' + r.no, '快递公司：' + r.carrier.name, '状态：' + r.status,
      '路线：' + r.from + ' → ' + r.to, ''];
    for (var i = r.events.length - 1; i >= 0; i--) lines.push(r.events[i].time + '  ' + r.events[i].text);
    return lines.join('\n');
  }

  function show(r) {
    $('r-no').textContent = r.no;
    $('r-carrier').textContent = r.carrier.name;
    $('r-phone').textContent = '客服 ' + r.carrier.phone;
    var badge = $('r-status');
    badge.textContent = r.status;
    badge.className = 'badge' + (r.delivered ? ' done' : '');
    $('r-from').textContent = r.from;
    $('r-to').textContent = r.to;
    $('r-count').textContent = r.events.length;
    var list = $('r-events');
    list.innerHTML = '';
    for (var i = r.events.length - 1; i >= 0; i--) {
      var li = document.createElement('li');
      if (i === r.events.length - 1) li.className = 'latest' + (r.delivered ? ' done' : '');
      var time = document.createElement('time');
      time.textContent = r.events[i].time;
      var text = document.createElement('div');
      text.className = 'text';
      text.textContent = r.events[i].text;
      li.appendChild(time);
      li.appendChild(text);
      list.appendChild(li);
    }
    $('result').hidden = false;
    $('intro').hidden = true;
    document.querySelector('.search-card').className += ' compact';
  }

  function copyText(text) {
    if (navigator.clipboard && window.isSecureContext) return navigator.clipboard.writeText(text);
    var area = document.createElement('textarea');
    area.value = text;
    document.body.appendChild(area);
    area.select();
    document.execCommand('copy');
    document.body.removeChild(area);
    return Promise.resolve();
  }

  function init() {
    var params = new URLSearchParams(location.search);
    var raw = params.get('no');
    var cid = params.get('c') || '';
    var select = $('carrier');
    CARRIERS.forEach(function (c) {
      var o = document.createElement('option');
      o.value = c.id;
      o.textContent = c.name;
      select.appendChild(o);
    });
    select.value = cid;
    if (select.value !== cid) select.value = '';
    if (raw === null) return;
    var no = normalize(raw);
    $('no').value = no;
    if (!valid(no)) {
      $('error').textContent = '请输入 6 至 30 位由字母或数字组成的运单号。';
      $('error').hidden = false;
      return;
    }
    var record = lookup(no, select.value);
    show(record);
    $('copy').onclick = function () {
      var btn = this;
      copyText(asText(record)).then(function () {
        btn.textContent = '已复制';
        setTimeout(function () { btn.textContent = '复制结果'; }, 1500);
      });
    };
    $('print').onclick = function () { window.print(); };
  }

  window.VondrelTrack = { lookup: lookup, normalize: normalize, valid: valid, carriers: CARRIERS };
  if (document.readyState === 'loading') document.addEventListener('DOMContentLoaded', init);
  else init();
})();
