<?xml version="1.0"?>
<!-- The ms: functions as the SDK documents them. -->
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform"
                xmlns:ms="urn:schemas-microsoft-com:xslt" xmlns:xsd="http://www.w3.org/2001/XMLSchema">
  <xsl:output method="text"/>
  <xsl:template match="/">
    <!-- Lower case first by default; "u" upper case first; "i" without case. -->
    <xsl:value-of select="concat('compare: ', ms:string-compare('a', 'A'), ' ', ms:string-compare('a', 'A', 'en-US', 'u'), ' ',
                                 ms:string-compare('a', 'A', '', 'i'), ' ', ms:string-compare('1', '2'), ' ',
                                 ms:string-compare('3', '2'), ' ', ms:string-compare('Äpfel', 'Zebra', 'de'), ' ',
                                 ms:string-compare('Äpfel', 'Zebra', 'sv'), '&#10;')"/>
    <xsl:for-each select="//observation">
      <xsl:value-of select="concat('utc: ', ms:utc(@time), '&#10;')"/>
    </xsl:for-each>
    <xsl:value-of select="concat('utc date: ', ms:utc('2001-04-12'), ' time: ', ms:utc('10:30:00'), ' year: ', ms:utc('2001'),
                                 ' bad: [', ms:utc('yesterday'), ']&#10;')"/>
    <xsl:value-of select="concat('date: ', ms:format-date('2024-05-13T06:53:07', 'dddd, d MMMM yyyy', 'en-US'), ' | ',
                                 ms:format-date('2024-05-13', 'ddd dd.MM.yy', 'de-DE'), ' | ',
                                 ms:format-date('2024-05-13', &quot;'Day' d 'of' MMM&quot;, 'en-GB'), '&#10;')"/>
    <xsl:value-of select="concat('time: ', ms:format-time('2024-05-13T06:53:07', 'hh:mm:ss tt', 'en-US'), ' | ',
                                 ms:format-time('2024-05-13T18:05:09', 'H:m:s', 'de-DE'), ' | ',
                                 ms:format-time('18:05:09', 'h t', 'en-US'), '&#10;')"/>
    <xsl:value-of select="concat('number: ', ms:number(//value), ' ', ms:number('INF'), ' ', ms:number('1,5'), ' ',
                                 number(//value), '&#10;')"/>
    <xsl:for-each select="//value">
      <xsl:value-of select="concat('type: {', ms:namespace-uri(@xsi:type), '}', ms:local-name(@xsi:type), '&#10;')"
                    xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance"/>
    </xsl:for-each>
    <xsl:value-of select="concat('schema: ', ms:type-is(//value, 'xsd:decimal'), ' [', ms:type-local-name(//value), '][',
                                 ms:type-namespace-uri(), '] ', ms:schema-info-available(), '&#10;')"/>
  </xsl:template>
</xsl:stylesheet>
