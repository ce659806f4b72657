function check_sizes(mex_dir, blocks)
  % The command-line sizes call of every plug-in built for Octave, and the messages of the
  % sizes call's argument checks as Octave reports them. Ends with an error if any differs.
  % blocks: rows of name, parameters (a cell), the 40-element sizes vector our host gives and
  % the number of parameters the sizes call reads.
  addpath(mex_dir);
  if ~exist(fullfile(mex_dir, 'tavrel.mex'), 'file')
    error('tavrel.mex was not built in %s', mex_dir);
  end
  failures = {};
  for i = 1:rows(blocks)
    [name, params, expected] = blocks{i, 1:3};
    if ~exist(fullfile(mex_dir, [name '.mex']), 'file')
      error('%s.mex was not built in %s', name, mex_dir);
    end
    failures = [failures, check_block(name, params, expected)];
  end
  rig = strcmp(blocks(:, 1), 'tavrel');
  failures = [failures, check_messages('tavrel', blocks{rig, 2}, blocks{rig, 4})];
  for i = 1:numel(failures)
    fprintf(2, 'FAILED: %s\n', failures{i});
  end
  if ~isempty(failures)
    error('%d Octave checks failed', numel(failures));
  end
end

function failures = check_block(name, params, expected)
  failures = {};
  sizes = feval(name, [], [], [], 0, params{:});
  if ~isa(sizes, 'double') || ~isequal(size(sizes), [40 1]) || ~isequal(sizes, expected)
    failures{end + 1} = sprintf('%s sizes: %s', name, mat2str(sizes'));
  end
  % A handshake vector that names no live record of our host: an error, never a dereference.
  refused = [name ': MEX level2 S-function "' name '" was given an invalid block record ' ...
             'by the host'];
  for handle = {[1; 2; 8480229], [-4; -1; 8480229], [4096; 0; 8480229]}
    message = message_of(name, 1, {[], handle{1}, [], 0, params{:}});
    if ~strcmp(message, refused)
      failures{end + 1} = sprintf('%s made-up handshake %s: "%s"', name, ...
                                  mat2str(handle{1}'), message);
    end
  end
end

function failures = check_messages(name, params, read)
  banner = ['MEX level2 S-function "' name '"'];
  not_integer = [name ': The 4th right hand argument, FLAG, passed to ' banner ...
                 ' must be an integer'];
  cases = {
    'flag 1.5',         1, {[], [], [], 1.5, params{:}},          not_integer;
    'a 1-by-2 flag',    1, {[], [], [], [0 0], params{:}},        not_integer;
    'a complex flag',   1, {[], [], [], complex(0, 1), params{:}}, not_integer;
    'a text flag',      1, {[], [], [], 'a', params{:}},          not_integer;
    'a logical flag',   1, {[], [], [], false, params{:}},        not_integer;
    'flag 3',           1, {[], [], [], 3, params{:}}, [name ': Invalid flag passed to ' banner];
    'three arguments',  2, {[], [], []}, ...
        [name ': ' banner ' must be called with at least 4 right hand arguments'];
    'two results',      2, {[], [], [], 0, params{:}}, ...
        [name ': ' banner ' called with too many left hand arguments'];
    'an int32 flag 0',  1, {[], [], [], int32(0), params{:}}, '';
    'three parameters', 1, {[], [], [], 0, params{1:3}}, ...
        sprintf('%s: %s needs at least %d dialog parameters, but 3 were given', name, banner, read);
    'an int32 parameter', 1, {[], [], [], 0, params{1:4}, int32(5), params{6:end}}, ...
        [name ': Dialog parameter 5 (right hand argument 9) passed to ' banner ...
         ' must be a real double array']};
  failures = {};
  for i = 1:rows(cases)
    [what, results, args, expected] = cases{i, :};
    message = message_of(name, results, args);
    if ~strcmp(message, expected)
      failures{end + 1} = sprintf('%s: "%s", expected "%s"', what, message, expected);
    end
  end
end

function message = message_of(name, results, args)
  message = '';
  out = cell(1, results);
  try
    [out{:}] = feval(name, args{:});
  catch err
    message = err.message;
  end
end
