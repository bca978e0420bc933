# Helpers for the files of the Debian package.

# Writes FILE.gz beside FILE, compressed as Debian wants it: gzip -9n, with
# no file name and no time stamp inside.
function(velmorjob_gzip file)
  execute_process(COMMAND gzip -9n -c "${file}" OUTPUT_FILE "${file}.gz" RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "gzip ${file}: ${status}")
  endif()
endfunction()

# Sets OUT to DATE (YYYY-MM-DD) in the form of a Debian changelog trailer,
# "Thu, 10 Dec 2026 00:00:00 +0000".
function(velmorjob_rfc2822_date date out)
  if(NOT date MATCHES "^([0-9][0-9][0-9][0-9])-([0-9][0-9])-([0-9][0-9])$")
    message(FATAL_ERROR "the release date \"${date}\" is not YYYY-MM-DD")
  endif()
  set(year ${CMAKE_MATCH_1})
  math(EXPR month "1${CMAKE_MATCH_2} - 100")
  math(EXPR day "1${CMAKE_MATCH_3} - 100")
  # The day of the week by Sakamoto's method, 0 for Sunday.
  set(month_offsets 0 3 2 5 0 3 5 1 4 6 2 4)
  math(EXPR index "${month} - 1")
  list(GET month_offsets ${index} offset)
  set(y ${year})
  if(month LESS 3)
    math(EXPR y "${y} - 1")
  endif()
  math(EXPR weekday "(${y} + ${y} / 4 - ${y} / 100 + ${y} / 400 + ${offset} + ${day}) % 7")
  set(weekdays Sun Mon Tue Wed Thu Fri Sat)
  set(months Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
  list(GET weekdays ${weekday} weekday_name)
  list(GET months ${index} month_name)
  set(${out} "${weekday_name}, ${day} ${month_name} ${year} 00:00:00 +0000" PARENT_SCOPE)
endfunction()

# Writes OUTPUT, the Debian changelog of VERSION, from the items under the
# "## VERSION " heading of the Markdown changelog INPUT: one entry, dated
# DATE (YYYY-MM-DD) and signed by MAINTAINER.
function(velmorjob_debian_changelog input output version date maintainer)
  file(STRINGS "${input}" lines)
  set(inside FALSE)
  set(items "")
  foreach(line IN LISTS lines)
    if(line MATCHES "^## ")
      string(FIND "${line}" "## ${version} " found)
      if(found EQUAL 0)
        set(inside TRUE)
      else()
        set(inside FALSE)
      endif()
    elseif(inside AND line MATCHES "^- (.*)$")
      string(APPEND items "  * ${CMAKE_MATCH_1}\n")
    elseif(inside AND line MATCHES "^  +(.*)$")
      string(APPEND items "    ${CMAKE_MATCH_1}\n")
    endif()
  endforeach()
  if(items STREQUAL "")
    message(FATAL_ERROR "${input} has no items under a heading \"## ${version} \"")
  endif()
  velmorjob_rfc2822_date("${date}" trailer_date)
  file(WRITE "${output}"
       "velmorjob (${version}) unstable; urgency=medium\n\n${items}\n -- ${maintainer}  ${trailer_date}\n")
endfunction()
